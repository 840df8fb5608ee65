#include "workbook/application.h"

#include "workbook/atomicfile.h"
#include "workbook/document.h"
#include "workbook/documentfactory.h"
#include "workbook/workbook.h"

#include <QFileInfo>

namespace workbook
{

Application::Application() = default;

Application::~Application()
{
    Quit();
}

Workbook *Application::Open(const QString &path, QString *reason)
{
    // Once per folder and run: a listing per workbook would cost more than the workbook.
    const QString folder = QFileInfo(path).absolutePath();
    if (!m_cleanedFolders.contains(folder)) {
        m_cleanedFolders.insert(folder);
        AtomicFile::removeStaleTemporaries(folder);
    }
    FileIdentity identity;
    std::unique_ptr<Document> document = DocumentFactory::openFile(path, reason, &identity);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), path, identity));
    return m_workbooks.back().get();
}

Workbook *Application::OpenFromMemory(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<Document> document = DocumentFactory::openBytes(bytes, reason);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), QString()));
    return m_workbooks.back().get();
}

void Application::Quit()
{
    m_workbooks.clear();
}

} // namespace workbook

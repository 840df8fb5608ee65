#include "workbook/application.h"

#include "workbook/atomicfile.h"
#include "workbook/document.h"
#include "workbook/documentfactory.h"
#include "workbook/workbook.h"

#include <QFileInfo>
#include <new>
#include <stdexcept>

namespace workbook
{

Application::Application() = default;

Application::~Application()
{
    Quit();
}

namespace
{

// Opening is one workbook's business: running out of memory in it refuses that workbook,
// with the reason, and leaves the program to the next one.
template <typename OpenCall> std::unique_ptr<Document> openGuarded(OpenCall open, QString *reason)
{
    QString why;
    try {
        std::unique_ptr<Document> document = open(&why);
        if (document)
            return document;
    } catch (const std::bad_alloc &) {
        why = QStringLiteral("out of memory while opening the workbook (std::bad_alloc)");
    } catch (const std::length_error &e) {
        why = QStringLiteral("out of memory while opening the workbook (a size beyond what can "
                             "be held: %1)")
                  .arg(QString::fromLatin1(e.what()));
    }
    if (reason)
        *reason = why;
    return nullptr;
}

} // namespace

Workbook *Application::Open(const QString &path, QString *reason)
{
    // Once per folder and run: a listing per workbook would cost more than the workbook.
    const QString folder = QFileInfo(path).absolutePath();
    if (!m_cleanedFolders.contains(folder)) {
        m_cleanedFolders.insert(folder);
        AtomicFile::removeStaleTemporaries(folder);
    }
    FileIdentity identity;
    std::unique_ptr<Document> document = openGuarded(
        [&](QString *why) { return DocumentFactory::openFile(path, why, &identity); }, reason);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), path, identity));
    return m_workbooks.back().get();
}

Workbook *Application::OpenFromMemory(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<Document> document =
        openGuarded([&](QString *why) { return DocumentFactory::openBytes(bytes, why); }, reason);
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

#include "workbook/application.h"

#include "workbook/document.h"
#include "workbook/documentfactory.h"
#include "workbook/workbook.h"

namespace workbook
{

Application::Application() = default;

Application::~Application()
{
    Quit();
}

Workbook *Application::Open(const QString &path, QString *reason)
{
    std::unique_ptr<Document> document = DocumentFactory::openFile(path, reason);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), path));
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

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

Workbook *Application::Open(const QString &path, Error *error)
{
    std::unique_ptr<Document> document = DocumentFactory::openFile(path, error);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), path));
    return m_workbooks.back().get();
}

Workbook *Application::Open(const QString &path, QString *reason)
{
    Error error;
    Workbook *workbook = Open(path, &error);
    if (!workbook && reason)
        *reason = error.toString();
    return workbook;
}

Workbook *Application::OpenFromMemory(const QByteArray &bytes, Error *error)
{
    std::unique_ptr<Document> document = DocumentFactory::openBytes(bytes, error);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), QString()));
    return m_workbooks.back().get();
}

Workbook *Application::OpenFromMemory(const QByteArray &bytes, QString *reason)
{
    Error error;
    Workbook *workbook = OpenFromMemory(bytes, &error);
    if (!workbook && reason)
        *reason = error.toString();
    return workbook;
}

void Application::Quit()
{
    m_workbooks.clear();
}

} // namespace workbook

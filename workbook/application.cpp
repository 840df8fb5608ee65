#include "workbook/application.h"

#include "platform/atomicfile.h"
#include "platform/fileidentity.h"
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
template <typename OpenCall> std::unique_ptr<Document> openGuarded(OpenCall open, Error *error)
{
    try {
        return open();
    } catch (const std::bad_alloc &) {
        fail(error, Error::Kind::BeyondLimit,
             QStringLiteral("out of memory while opening the workbook (std::bad_alloc)"));
    } catch (const std::length_error &e) {
        fail(error, Error::Kind::BeyondLimit,
             QStringLiteral("out of memory while opening the workbook (a size beyond what can "
                            "be held: %1)")
                 .arg(QString::fromLatin1(e.what())));
    }
    return nullptr;
}

} // namespace

Workbook *Application::Open(const QString &path, Error *error)
{
    // Once per folder and run: a listing per workbook would cost more than the workbook.
    const QString folder = QFileInfo(path).absolutePath();
    if (!m_cleanedFolders.contains(folder)) {
        m_cleanedFolders.insert(folder);
        AtomicFile::RemoveStaleTemporaries(folder);
    }
    FileIdentity identity;
    std::unique_ptr<Document> document =
        openGuarded([&] { return DocumentFactory::openFile(path, error, &identity); }, error);
    if (!document)
        return nullptr;
    m_workbooks.push_back(std::make_unique<Workbook>(std::move(document), path, identity));
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
    std::unique_ptr<Document> document =
        openGuarded([&] { return DocumentFactory::openBytes(bytes, error); }, error);
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

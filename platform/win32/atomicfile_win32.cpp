#include "platform/atomicfile.h"
#include "platform/win32/win32files.h"

#include <QFileInfo>
#include <QThread>

namespace
{

// Another run holds the workbook only for the moment of its own check and rename.
const int kLockAttempts = 1000;
const unsigned long kLockPauseMicroseconds = 2000;

QString changed(const QString &why)
{
    return QLatin1String(AtomicFile::kChangedWhileEditing) + QStringLiteral(": ") + why;
}

bool examine(HANDLE handle, FileIdentity *identity, DWORD *attributes)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    *identity = IdentityOfInformation(info);
    if (attributes)
        *attributes = info.dwFileAttributes;
    return true;
}

bool isRegular(DWORD attributes)
{
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Writes every piece whole; the first error is kept and refuses the rest.
class HandleSink : public ByteSink
{
public:
    explicit HandleSink(HANDLE file) : m_file(file) {}
    bool Write(const char *data, qint64 size) override
    {
        while (m_error == 0 && size > 0) {
            DWORD written = 0;
            if (!WriteFile(m_file, data, DWORD(qMin<qint64>(size, 1 << 20)), &written, nullptr)) {
                m_error = GetLastError();
                break;
            }
            data += written;
            size -= written;
        }
        return m_error == 0;
    }
    DWORD error() const { return m_error; }

private:
    HANDLE m_file;
    DWORD m_error = 0;
};

bool lockBriefly(HANDLE file)
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // One byte far beyond any workbook's end stands for the file: another run's save takes
        // the same, while nobody's reading of the content is hindered (Windows locks are
        // mandatory for the range they cover).
        OVERLAPPED beyondEnd = {};
        beyondEnd.Offset = MAXDWORD;
        beyondEnd.OffsetHigh = 0x7fffffff;
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &beyondEnd))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
            // A file system without locks: the identity checks still stand.
            return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
        QThread::usleep(kLockPauseMicroseconds);
    }
    return false;
}

} // namespace

// No temporary carries a mark here (see SaveMarker), so none is ever provably stale.
void AtomicFile::RemoveStaleTemporaries(const QString &) {}

bool AtomicFile::Write(const QString &path, const std::function<bool(ByteSink &)> &produce,
                       const FileIdentity &expected, FileIdentity *written, QString *reason)
{
    auto fail = [reason](const QString &text) {
        if (reason)
            *reason = text;
        return false;
    };
    Win32Handle original(OpenEntry(path, GENERIC_READ));
    if (!original.isOpen()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return fail(changed(QStringLiteral("it was moved or deleted")));
        return fail(SystemErrorText("cannot examine the file", error));
    }
    FileIdentity found;
    DWORD attributes = 0;
    if (!examine(original.get(), &found, &attributes))
        return fail(SystemErrorText("cannot examine the file", GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fail(changed(QStringLiteral("its name now holds a symbolic link")));
    if (!isRegular(attributes))
        return fail(changed(QStringLiteral("expected a regular file")));
    if (expected.isKnown() && found != expected)
        return fail(changed(expected.differenceFrom(found)));
    // A read-only file is read-only on purpose, as Excel refuses it too.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return fail(QStringLiteral("expected a writable file, found a read-only one"));

    // A name of our own beside the workbook; hidden, and removed on every failure below.
    const QString folder = QFileInfo(path).absolutePath();
    QString tempName;
    Win32Handle temp(INVALID_HANDLE_VALUE);
    DWORD createError = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && !temp.isOpen() && createError == ERROR_FILE_EXISTS;
         ++attempt) {
        tempName = folder + QLatin1Char('/') + QString::fromLatin1(NewTemporaryName());
        temp.reset(CreateFileW(WideName(tempName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_HIDDEN, nullptr));
        createError = temp.isOpen() ? ERROR_SUCCESS : GetLastError();
    }
    if (!temp.isOpen())
        return fail(
            SystemErrorText("cannot create a temporary file beside the workbook", createError));
    auto abandon = [&](const QString &text) {
        temp.close();
        DeleteFileW(WideName(tempName).c_str());
        return fail(text);
    };
    HandleSink sink(temp.get());
    bool produced = false;
    try {
        produced = produce(sink);
    } catch (...) {
        abandon(QString());
        throw;
    }
    if (!produced)
        return abandon(sink.error() != 0
                           ? SystemErrorText("cannot write the temporary file", sink.error())
                           : QStringLiteral("cannot write the temporary file: the new content "
                                            "could not be made"));
    if (!FlushFileBuffers(temp.get()))
        return abandon(SystemErrorText("cannot flush the temporary file to disk", GetLastError()));
    temp.close();

    // The last look before the replacement, under a lock that another run's save of this file
    // also takes: whoever replaces second sees the first one's file and refuses.
    if (!lockBriefly(original.get()))
        return abandon(changed(QStringLiteral("another program holds it locked")));
    FileIdentity now;
    if (!examine(original.get(), &now, nullptr))
        return abandon(SystemErrorText("cannot examine the file", GetLastError()));
    if (now != found)
        return abandon(changed(found.differenceFrom(now)));
    {
        const Win32Handle named(OpenEntry(path, FILE_READ_ATTRIBUTES));
        DWORD namedAttributes = 0;
        if (!named.isOpen() || !examine(named.get(), &now, &namedAttributes))
            return abandon(changed(QStringLiteral("it was moved or deleted")));
        if (namedAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return abandon(changed(QStringLiteral("its name now holds a symbolic link")));
        if (now != found)
            return abandon(changed(found.differenceFrom(now)));
    }

    // ReplaceFileW keeps the original's access list, owner, attributes and alternate data
    // streams on the new file; a file system without it gets a plain replacing rename.
    const std::wstring target = WideName(path);
    const std::wstring replacement = WideName(tempName);
    if (!ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION &&
            error != ERROR_INVALID_PARAMETER)
            return abandon(SystemErrorText("cannot replace the workbook with the new file", error));
        if (!MoveFileExW(replacement.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return abandon(
                SystemErrorText("cannot replace the workbook with the new file", GetLastError()));
    }
    original.close();
    if (written) {
        const Win32Handle result(OpenEntry(path, FILE_READ_ATTRIBUTES));
        if (!result.isOpen() || !examine(result.get(), written, nullptr))
            *written = FileIdentity();
    }
    return true;
}

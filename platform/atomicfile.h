#pragma once

#include "platform/bytesink.h"
#include "platform/fileidentity.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Replaces a file's content so that, whatever happens (full disk, no permission, a crash or
// a kill), the file holds either its old content or the new one, whole; and only while the
// path still names the file that was read, so that nobody else's newer save, and no file a
// symbolic link points to, is ever overwritten.
class AtomicFile
{
public:
    // The start of every reason of a refused save whose file changed since it was read.
    static const char *const kChangedWhileEditing;

    // Writes bytes to a temporary file of its own in the same folder, flushes it to disk,
    // gives it the original's owner, group, permission bits and extended attributes, and
    // renames it over the original; but first checks that path is, without following links,
    // the regular file expected (when known). On failure the original is untouched, the
    // temporary removed, and *reason says what failed. *written gets the new file's identity.
    // On Windows ReplaceFileW does the renaming and keeps the original's access list, owner,
    // attributes and alternate data streams; the lock is LockFileEx's.
    static bool Write(const QString &path, const QByteArray &bytes, const FileIdentity &expected,
                      FileIdentity *written, QString *reason);
    // The same with content that produce hands to the temporary file piece by piece, checks
    // and all. produce returns false when the sink refused a piece; the save then fails as a
    // failed write does. It is called once, after the checks that come before writing.
    static bool Write(const QString &path, const std::function<bool(ByteSink &)> &produce,
                      const FileIdentity &expected, FileIdentity *written, QString *reason);

    // Removes, from folder, the temporaries that saves now gone left behind: only files named
    // like one and bearing the mark of a save whose process has ended on this machine. None on
    // Windows, where temporaries carry no mark.
    static void RemoveStaleTemporaries(const QString &folder);

    // A fresh file name of that form, drawn at random.
    static QByteArray NewTemporaryName();

    // Whether a file name has the form of a temporary (".~tm<hex>.tsave"); the form alone
    // never makes a file ours.
    static bool HasTemporaryName(const QByteArray &fileName);
};

#pragma once

#include <QByteArray>
#include <QString>

namespace workbook
{

// Replaces a file's content so that, whatever happens (full disk, no permission, a crash or
// a kill), the file holds either its old content or the new one, whole.
class AtomicFile
{
public:
    // Writes bytes to a temporary file in the same folder, flushes it to disk, gives it the
    // original's permission bits and renames it over the original. On failure the original is
    // untouched, the temporary removed, and *reason says what failed.
    static bool write(const QString &path, const QByteArray &bytes, QString *reason);

    // Removes temporaries that an interrupted write() of path left behind.
    static void removeStaleTemporaries(const QString &path);

    // The temporary file a write() of path uses, in path's folder.
    static QString temporaryPath(const QString &path);
};

} // namespace workbook

#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

// A file held under an exclusive lock for as long as the object lives: a run's manifest,
// which a run, its undo and the pruning of old runs take in turn. The lock is advisory: it
// orders the program's own processes.
class LockedFile
{
public:
    enum class Mode { CreateNew, AppendExisting, ReadExisting };

    // Opens path (CreateNew: a file that must not exist yet, for the owner only) and locks it;
    // waiting for the lock when wait is set, else null at once while another holds it (*busy
    // set). Null with *reason (the system's words) when the file cannot be opened.
    static std::unique_ptr<LockedFile> Open(const QString &path, Mode mode, bool wait, bool *busy,
                                            QString *reason);

    ~LockedFile();
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;

    // Appends bytes whole; false when they could not all be written.
    bool Append(const QByteArray &bytes);

private:
    explicit LockedFile(std::intptr_t handle) : m_handle(handle) {}

    std::intptr_t m_handle;
};

enum class LinkOutcome { Linked, OtherFileSystem, Failed };
// Gives the file existing a second name, link (a hard link): OtherFileSystem when the two
// lie on different file systems, Failed for any other reason.
LinkOutcome LinkFile(const QString &existing, const QString &link);

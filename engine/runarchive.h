#pragma once

#include "platform/fileidentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <mutex>

class LockedFile;

// The undo data of runs: before a run's save replaces a workbook, the original is kept in the
// run's own folder under $XDG_DATA_HOME/Tessaromandel/runs/<time>-<id>/, by a hard link where
// the file system allows it (the save renames the new file over the old name, so the link
// keeps the old file at no cost), else by a copy. A data folder on another file system than
// the workbook's folder is stood in for by the hidden .tessaromandel/runs/<id>/ inside the
// chosen folder. The run folder's manifest.jsonl names, for every workbook the run replaced,
// its path, the kept original and the size and SHA-256 of what the run wrote.
class RunArchive
{
public:
    struct Limits {
        int maxRuns = 20;
        // Bytes that kept files alone hold (a file still linked elsewhere holds none).
        qint64 maxHeldBytes = qint64(2) << 30;
    };
    // An original kept before its save, waiting for what the save did.
    struct Pending {
        QString path;
        QString kept;
        FileIdentity before;
    };
    struct Entry {
        QString path;
        QString kept;
        qint64 size = -1;
        QByteArray sha256; // hex
    };
    struct Run {
        QString id;
        QString folder; // the run folder
        QString time;   // ISO 8601, local
        QString sourceFolder;
        QString operation;
        QVector<Entry> entries;
        bool undone = false;
    };

    static const char *const kManifestName;
    static const char *const kPrunedListName;

    static QString RunsFolder();
    // Kept runs by id, oldest first.
    static QStringList RunIds();
    // False with *reason when the run is not kept (or its manifest unreadable).
    static bool Read(const QString &id, Run *run, QString *reason);
    // Whether a run of that id was kept once and pruned since.
    static bool WasPruned(const QString &id);
    // Removes runs oldest first beyond the limits; never the newest, nor one in use.
    static void Prune(const Limits &limits);
    // SHA-256 of a file, hex; empty when it cannot be read. *size gets its size.
    static QByteArray FileDigest(const QString &path, qint64 *size);

    RunArchive(const QString &sourceFolder, const QString &operation, Limits limits);
    ~RunArchive();
    RunArchive(const RunArchive &) = delete;
    RunArchive &operator=(const RunArchive &) = delete;

    // Keeps the workbook at path as it is now, before a save; false with *reason when no
    // copy of it could be kept (the save must then not happen).
    bool Keep(const QString &path, QString *reason);
    // After the save that followed Keep(path): records what was written, or drops the kept
    // original when the file was not replaced.
    void Saved(const QString &path, bool saved);
    // The same in two halves for workbooks saved on several threads at once. Keep may be
    // called from any thread; number names the kept file, so that the names do not depend on
    // which save came first.
    bool Keep(const QString &path, int number, Pending *pending, QString *reason);
    // Any thread, after the save: the manifest line of what was written, or empty (the kept
    // original dropped) when the file was not replaced.
    static QByteArray Saved(const Pending &pending, bool saved);
    // Any thread: appends a line Saved() made, at once, so that a kill loses no workbook
    // already replaced. Lines come in the order the saves ended; Read() gives the entries in
    // the order of their numbers.
    void Record(const QByteArray &line);
    // Ends the run's undo data: a run that replaced nothing leaves none; then prunes.
    void Finish();

    QString Id() const { return m_id; }
    int EntryCount() const { return m_entries; }

private:
    bool CreateRunFolder(QString *reason);
    // The hidden fallback folder for this run inside the chosen folder.
    QString FallbackFolder() const;

    QString m_sourceFolder;
    QString m_operation;
    Limits m_limits;
    QString m_id;
    QString m_folder;
    std::unique_ptr<LockedFile> m_manifest;
    int m_sequence = 0;
    int m_entries = 0;
    bool m_finished = false;
    // The file Keep() last kept, waiting for its save.
    Pending m_pending;
    // Guards the run folder's creation, the manifest's lines and m_finished for saves on
    // several threads.
    std::mutex m_mutex;
};

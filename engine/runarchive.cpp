#include "engine/runarchive.h"

#include "engine/filedigest.h"
#include "platform/lockedfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>

const char *const RunArchive::kManifestName = "manifest.jsonl";
const char *const RunArchive::kPrunedListName = "pruned.txt";

namespace
{

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// Bytes a kept file holds on its own: none while another name still links to it.
qint64 heldBytes(const QString &kept)
{
    FileIdentity identity;
    std::uint64_t links = 0;
    if (!IdentifyFileEntry(kept, &identity, nullptr, &links) || links > 1)
        return 0;
    return qint64(identity.size);
}

// The number a kept file's name starts with ("12-Book.xlsx").
qint64 keptNumber(const RunArchive::Entry &entry)
{
    return QFileInfo(entry.kept).fileName().section(QLatin1Char('-'), 0, 0).toLongLong();
}

// Removes a run: its kept files (also those in a fallback folder), then its folder.
void removeRun(const RunArchive::Run &run)
{
    QStringList fallbackFolders;
    for (const RunArchive::Entry &entry : run.entries) {
        QFile::remove(entry.kept);
        const QString folder = QFileInfo(entry.kept).absolutePath();
        if (!folder.startsWith(run.folder) && !fallbackFolders.contains(folder))
            fallbackFolders << folder;
    }
    for (const QString &folder : qAsConst(fallbackFolders))
        QDir(folder).removeRecursively();
    QDir(run.folder).removeRecursively();
}

} // namespace

QString RunArchive::RunsFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Tessaromandel/runs");
}

QStringList RunArchive::RunIds()
{
    QStringList ids = QDir(RunsFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    // Only folders that hold a manifest are runs.
    ids.erase(std::remove_if(ids.begin(), ids.end(),
                             [](const QString &id) {
                                 return !QFileInfo::exists(RunsFolder() + QLatin1Char('/') + id +
                                                           QLatin1Char('/') +
                                                           QLatin1String(kManifestName));
                             }),
              ids.end());
    return ids;
}

bool RunArchive::Read(const QString &id, Run *run, QString *reason)
{
    *run = Run();
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || id.startsWith(QLatin1Char('.'))) {
        *reason = QStringLiteral("no such run");
        return false;
    }
    run->id = id;
    run->folder = RunsFolder() + QLatin1Char('/') + id;
    QFile manifest(run->folder + QLatin1Char('/') + QLatin1String(kManifestName));
    if (!manifest.open(QIODevice::ReadOnly)) {
        *reason = WasPruned(id) ? QStringLiteral("no longer kept: pruned")
                                : QStringLiteral("no such run");
        return false;
    }
    bool headed = false;
    while (!manifest.atEnd()) {
        const QByteArray line = manifest.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QLatin1String("run"))) {
            headed = true;
            run->time = object.value(QLatin1String("time")).toString();
            run->sourceFolder = object.value(QLatin1String("folder")).toString();
            run->operation = object.value(QLatin1String("operation")).toString();
        } else if (object.contains(QLatin1String("path"))) {
            Entry entry;
            entry.path = object.value(QLatin1String("path")).toString();
            entry.kept = object.value(QLatin1String("kept")).toString();
            entry.size = qint64(object.value(QLatin1String("size")).toDouble(-1));
            entry.sha256 = object.value(QLatin1String("sha256")).toString().toLatin1();
            if (!entry.path.isEmpty() && !entry.kept.isEmpty())
                run->entries.append(entry);
        } else if (object.contains(QLatin1String("undone"))) {
            run->undone = true;
        }
        // A line cut short by a crash is skipped: the entries before it still hold.
    }
    // Saves on several threads end in any order; the kept files' numbers are the workbooks'.
    std::stable_sort(run->entries.begin(), run->entries.end(),
                     [](const Entry &a, const Entry &b) { return keptNumber(a) < keptNumber(b); });
    if (!headed) {
        *reason = QStringLiteral("its manifest is unreadable");
        return false;
    }
    return true;
}

bool RunArchive::WasPruned(const QString &id)
{
    QFile list(RunsFolder() + QLatin1Char('/') + QLatin1String(kPrunedListName));
    if (!list.open(QIODevice::ReadOnly))
        return false;
    while (!list.atEnd()) {
        if (QString::fromUtf8(list.readLine().trimmed()) == id)
            return true;
    }
    return false;
}

void RunArchive::Prune(const Limits &limits)
{
    const QStringList ids = RunIds();
    qint64 held = 0;
    int kept = 0;
    QStringList pruned;
    for (int i = ids.size() - 1; i >= 0; --i) {
        Run run;
        QString reason;
        if (!Read(ids.at(i), &run, &reason))
            continue;
        qint64 own = 0;
        for (const Entry &entry : qAsConst(run.entries))
            own += heldBytes(entry.kept);
        const bool newest = i == ids.size() - 1;
        // A run whose originals cost nothing is never pruned for bytes: that frees none.
        if (newest || (kept < limits.maxRuns && (own == 0 || held + own <= limits.maxHeldBytes))) {
            held += own;
            ++kept;
            continue;
        }
        // A run still being written or undone holds its manifest locked.
        bool busy = false;
        const std::unique_ptr<LockedFile> manifest =
            LockedFile::Open(run.folder + QLatin1Char('/') + QLatin1String(kManifestName),
                             LockedFile::Mode::ReadExisting, false, &busy, nullptr);
        if (!manifest && !busy)
            continue;
        if (!manifest) {
            held += own;
            ++kept;
            continue;
        }
        removeRun(run);
        pruned << run.id;
    }
    if (pruned.isEmpty())
        return;
    QFile list(RunsFolder() + QLatin1Char('/') + QLatin1String(kPrunedListName));
    if (list.open(QIODevice::WriteOnly | QIODevice::Append))
        list.write(pruned.join(QLatin1Char('\n')).toUtf8() + '\n');
}

QByteArray RunArchive::FileDigest(const QString &path, qint64 *size)
{
    return ::FileDigest::Sha256(path, size);
}

RunArchive::RunArchive(const QString &sourceFolder, const QString &operation, Limits limits)
    : m_sourceFolder(QDir(sourceFolder).absolutePath()), m_operation(operation), m_limits(limits)
{
    // Ids order the runs oldest first: two runs of one process never share a millisecond.
    static std::mutex stampMutex;
    static QString lastStamp;
    QString stamp;
    {
        std::lock_guard<std::mutex> locker(stampMutex);
        do {
            stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
            if (stamp == lastStamp)
                QThread::usleep(200);
        } while (stamp == lastStamp);
        lastStamp = stamp;
    }
    m_id = stamp + QLatin1Char('-') +
           QString::number(QRandomGenerator::global()->generate() & 0xffffff, 16)
               .rightJustified(6, QLatin1Char('0'));
}

RunArchive::~RunArchive()
{
    Finish();
}

QString RunArchive::FallbackFolder() const
{
    return m_sourceFolder + QStringLiteral("/.tessaromandel/runs/") + m_id;
}

bool RunArchive::CreateRunFolder(QString *reason)
{
    if (m_manifest)
        return true;
    m_folder = RunsFolder() + QLatin1Char('/') + m_id;
    if (!QDir().mkpath(m_folder)) {
        *reason = QStringLiteral("cannot create the run folder ") + m_folder;
        return false;
    }
    const QString manifest = m_folder + QLatin1Char('/') + QLatin1String(kManifestName);
    // Held locked until the run ends, so that no pruning removes the run while it is written.
    QString why;
    m_manifest = LockedFile::Open(manifest, LockedFile::Mode::CreateNew, true, nullptr, &why);
    if (!m_manifest) {
        *reason = QStringLiteral("cannot create ") + manifest + QStringLiteral(": ") + why;
        return false;
    }
    QJsonObject head;
    head.insert(QStringLiteral("run"), m_id);
    head.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODate));
    head.insert(QStringLiteral("folder"), m_sourceFolder);
    head.insert(QStringLiteral("operation"), m_operation);
    if (!m_manifest->Append(jsonLine(head))) {
        *reason = QStringLiteral("cannot write the manifest");
        return false;
    }
    return true;
}

bool RunArchive::Keep(const QString &path, QString *reason)
{
    m_pending = Pending();
    return Keep(path, ++m_sequence, &m_pending, reason);
}

void RunArchive::Saved(const QString &path, bool saved)
{
    if (path != m_pending.path || m_pending.path.isEmpty())
        return;
    const Pending pending = m_pending;
    m_pending = Pending();
    Record(Saved(pending, saved));
}

bool RunArchive::Keep(const QString &path, int number, Pending *pending, QString *reason)
{
    *pending = Pending();
    QString folder;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        if (m_finished || !CreateRunFolder(reason))
            return false;
        folder = m_folder;
    }
    FileIdentity before;
    bool regular = false;
    if (!IdentifyFileEntry(path, &before, &regular) || !regular) {
        *reason = QStringLiteral("cannot keep the original: it is no longer a regular file");
        return false;
    }
    const QString name = QString::number(number) + QLatin1Char('-') + QFileInfo(path).fileName();
    QString kept = folder + QLatin1Char('/') + name;
    LinkOutcome linked = LinkFile(path, kept);
    if (linked == LinkOutcome::OtherFileSystem) {
        // The data folder is on another file system: a link beside the workbooks instead.
        const QString fallback = FallbackFolder();
        if (QDir().mkpath(fallback)) {
            kept = fallback + QLatin1Char('/') + name;
            linked = LinkFile(path, kept);
        }
    }
    if (linked != LinkOutcome::Linked) {
        // No link is possible here: a copy, in the data folder.
        kept = folder + QLatin1Char('/') + name;
        QFile::remove(kept);
        if (!QFile::copy(path, kept)) {
            QFile::remove(kept);
            *reason = QStringLiteral("cannot keep the original for undo in ") + folder;
            return false;
        }
    }
    pending->path = path;
    pending->kept = kept;
    pending->before = before;
    return true;
}

QByteArray RunArchive::Saved(const Pending &pending, bool saved)
{
    if (pending.path.isEmpty())
        return QByteArray();
    FileIdentity now;
    const bool replaced =
        saved && IdentifyFileEntry(pending.path, &now, nullptr) && now != pending.before;
    if (!replaced) {
        QFile::remove(pending.kept);
        return QByteArray();
    }
    qint64 size = -1;
    const QByteArray digest = FileDigest(pending.path, &size);
    QJsonObject entry;
    entry.insert(QStringLiteral("path"), QFileInfo(pending.path).absoluteFilePath());
    entry.insert(QStringLiteral("kept"), pending.kept);
    entry.insert(QStringLiteral("size"), double(size));
    entry.insert(QStringLiteral("sha256"), QString::fromLatin1(digest));
    return jsonLine(entry);
}

void RunArchive::Record(const QByteArray &line)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (!line.isEmpty() && m_manifest && m_manifest->Append(line))
        ++m_entries;
}

void RunArchive::Finish()
{
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        if (m_finished)
            return;
        m_finished = true;
    }
    if (!m_manifest)
        return;
    if (m_entries == 0) {
        // Nothing replaced: nothing to take back.
        QDir(FallbackFolder()).removeRecursively();
        QDir(m_folder).removeRecursively();
        QDir().rmdir(m_sourceFolder + QStringLiteral("/.tessaromandel/runs"));
        QDir().rmdir(m_sourceFolder + QStringLiteral("/.tessaromandel"));
    }
    m_manifest.reset();
    Prune(m_limits);
}

#include "engine/undorun.h"

#include "engine/csvfile.h"
#include "engine/runarchive.h"
#include "platform/atomicfile.h"
#include "platform/fileidentity.h"
#include "platform/lockedfile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace
{

// Puts the kept original back over path, provided path still holds what the run wrote.
// Returns the outcome: 0 restored, 1 already as before, 2 left (with *why).
int restore(const RunArchive::Entry &entry, QString *why)
{
    FileIdentity identity;
    bool regular = false;
    if (!IdentifyFileEntry(entry.path, &identity, &regular)) {
        *why = QStringLiteral("不存在 it is no longer there");
        return 2;
    }
    if (!regular) {
        *why = QStringLiteral("已不是普通文件 it is no longer a regular file");
        return 2;
    }
    qint64 size = -1;
    const QByteArray current = RunArchive::FileDigest(entry.path, &size);
    if (current.isEmpty()) {
        *why = QStringLiteral("无法读取 it cannot be read");
        return 2;
    }
    QFile kept(entry.kept);
    if (!kept.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("保留的原件缺失 the kept original is missing: ") + entry.kept;
        return 2;
    }
    if (current != entry.sha256 || size != entry.size) {
        qint64 keptSize = -1;
        if (RunArchive::FileDigest(entry.kept, &keptSize) == current && keptSize == size)
            return 1;
        *why = QStringLiteral("运行后已被修改 it was changed since the run");
        return 2;
    }
    const QByteArray original = kept.readAll();
    if (original.size() != kept.size()) {
        *why = QStringLiteral("保留的原件无法读取 the kept original cannot be read");
        return 2;
    }
    // Replaced only while the path still names the file just hashed, unchanged.
    FileIdentity written;
    if (!AtomicFile::Write(entry.path, original, identity, &written, why))
        return 2;
    return 0;
}

} // namespace

UndoRun::Result UndoRun::Execute(const QString &id)
{
    Result result;
    result.id = id;
    if (result.id.isEmpty()) {
        const QStringList ids = RunArchive::RunIds();
        if (ids.isEmpty())
            return result;
        // The latest run not taken back yet, so that undo after undo walks back in time.
        result.id = ids.last();
        for (int i = ids.size() - 1; i >= 0; --i) {
            RunArchive::Run run;
            QString reason;
            if (RunArchive::Read(ids.at(i), &run, &reason) && !run.undone) {
                result.id = ids.at(i);
                break;
            }
        }
    }
    RunArchive::Run run;
    if (!RunArchive::Read(result.id, &run, &result.reason)) {
        result.status = Status::NotKept;
        return result;
    }
    const std::unique_ptr<LockedFile> manifest =
        LockedFile::Open(run.folder + QLatin1Char('/') + QLatin1String(RunArchive::kManifestName),
                         LockedFile::Mode::AppendExisting, false, nullptr, nullptr);
    if (!manifest) {
        result.status = Status::Busy;
        return result;
    }
    // Read again under the lock: another undo may have finished meanwhile.
    if (!RunArchive::Read(result.id, &run, &result.reason)) {
        result.status = Status::NotKept;
        return result;
    }
    if (run.undone) {
        result.status = Status::AlreadyUndone;
        return result;
    }

    CsvFile report;
    result.reportPath = run.folder + QStringLiteral("/undo-report.csv");
    QString reportError;
    const bool reportOpen = report.Open(result.reportPath, &reportError);
    report.WriteRow({QStringLiteral("工作簿 workbook"), QStringLiteral("结果 outcome"),
                     QStringLiteral("原因 reason")});
    QSet<QString> cleanedFolders;
    for (const RunArchive::Entry &entry : qAsConst(run.entries)) {
        // An undo cut short leaves a marked temporary as a killed run does; the next one, like
        // the next run, clears them.
        const QString folder = QFileInfo(entry.path).absolutePath();
        if (!cleanedFolders.contains(folder)) {
            cleanedFolders.insert(folder);
            AtomicFile::RemoveStaleTemporaries(folder);
        }
        QString why;
        switch (restore(entry, &why)) {
        case 0:
            result.restored << entry.path;
            report.WriteRow({entry.path, QStringLiteral("已恢复 restored"), QString()});
            break;
        case 1:
            result.alreadyOriginal << entry.path;
            report.WriteRow(
                {entry.path, QStringLiteral("已是原样 already as before the run"), QString()});
            break;
        default:
            result.left.append(qMakePair(entry.path, why));
            report.WriteRow({entry.path, QStringLiteral("未恢复 left alone"), why});
            break;
        }
    }
    result.reportWritten = reportOpen && report.Close(&reportError);

    QJsonObject undone;
    undone.insert(QStringLiteral("undone"), QDateTime::currentDateTime().toString(Qt::ISODate));
    undone.insert(QStringLiteral("restored"), result.restored.size());
    undone.insert(QStringLiteral("left"), result.left.size());
    manifest->Append(QJsonDocument(undone).toJson(QJsonDocument::Compact) + QByteArray("\n"));
    result.status = Status::Done;
    return result;
}

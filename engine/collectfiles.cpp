#include "engine/collectfiles.h"

#include "engine/visibletext.h"
#include "platform/rawfilenames.h"

#include <QDir>
#include <QSet>

namespace
{

bool RoundTrips(const QByteArray &name)
{
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

void collectInto(const QString &folder, QSet<QString> &visited, QFileInfoList &result,
                 QStringList *undecodable)
{
    QDir dir(folder);
    // A folder link that leads back into the tree would otherwise make the walk endless.
    const QString canonical = dir.canonicalPath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return;
    visited.insert(canonical);

    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, order);
    QStringList lost;
    for (const std::string &raw : RawFileNames(QFile::encodeName(dir.path()).constData())) {
        const QByteArray name = QByteArray::fromStdString(raw);
        if (!RoundTrips(name))
            lost << VisibleLocalName(name);
    }
    for (const QFileInfo &file : files) {
        // Qt lists such a file under a decoded name that no longer leads to it.
        if (lost.isEmpty() || QFile::exists(file.filePath()))
            result += file;
    }
    if (undecodable) {
        lost.sort(Qt::CaseInsensitive);
        for (const QString &name : lost)
            *undecodable << dir.filePath(name);
    }
    const QFileInfoList subfolders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, order);
    for (const QFileInfo &subfolder : subfolders)
        collectInto(subfolder.absoluteFilePath(), visited, result, undecodable);
}

} // namespace

QFileInfoList CollectFiles(const QString &folder, QStringList *undecodable)
{
    QFileInfoList result;
    // An empty path would mean the working directory to QDir.
    if (folder.isEmpty())
        return result;
    QSet<QString> visited;
    collectInto(folder, visited, result, undecodable);
    return result;
}

#include "engine/collectfiles.h"

#include <QDir>
#include <QSet>

namespace
{

void collectInto(const QString &folder, QSet<QString> &visited, QFileInfoList &result)
{
    QDir dir(folder);
    // A folder link that leads back into the tree would otherwise make the walk endless.
    const QString canonical = dir.canonicalPath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return;
    visited.insert(canonical);

    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    result += dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, order);
    const QFileInfoList subfolders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, order);
    for (const QFileInfo &subfolder : subfolders)
        collectInto(subfolder.absoluteFilePath(), visited, result);
}

} // namespace

QFileInfoList CollectFiles(const QString &folder)
{
    QFileInfoList result;
    // An empty path would mean the working directory to QDir.
    if (folder.isEmpty())
        return result;
    QSet<QString> visited;
    collectInto(folder, visited, result);
    return result;
}

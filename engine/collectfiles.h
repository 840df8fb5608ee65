#pragma once

#include <QFileInfoList>
#include <QString>
#include <QStringList>

// Every file below folder, subfolders included, in visiting order: a folder's own files (hidden
// ones too, links not) by name ignoring case, then each visible subfolder in the same order,
// completely before the next. Files directly in folder carry its path as given; deeper ones
// carry absolute paths. A folder reached twice through links is listed once.
// Files whose names the local encoding cannot hold cannot be opened by a decoded path: they are
// left out of the list and, when undecodable is given, added to it as readable paths (the name
// through VisibleLocalName) so that they can be reported.
QFileInfoList CollectFiles(const QString &folder, QStringList *undecodable = nullptr);

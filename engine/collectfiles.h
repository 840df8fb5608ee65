#pragma once

#include <QFileInfoList>
#include <QString>

// Every file below folder, subfolders included, in visiting order: a folder's own files (hidden
// ones too, links not) by name ignoring case, then each visible subfolder in the same order,
// completely before the next. Files directly in folder carry its path as given; deeper ones
// carry absolute paths. A folder reached twice through links is listed once.
QFileInfoList CollectFiles(const QString &folder);

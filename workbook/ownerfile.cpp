#include "workbook/ownerfile.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace workbook
{

QString OwnerFile::besides(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.path() + QLatin1Char('/');
    for (const QString &owner : {QStringLiteral("~$") + info.fileName(),
                                 QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#')}) {
        struct stat st;
        if (::lstat(QFile::encodeName(folder + owner).constData(), &st) == 0)
            return folder + owner;
    }
    return QString();
}

} // namespace workbook

#include "workbook/ownerfile.h"

#include "platform/fileidentity.h"

#include <QFileInfo>

namespace workbook
{

QString OwnerFile::besides(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.path() + QLatin1Char('/');
    for (const QString &owner : {QStringLiteral("~$") + info.fileName(),
                                 QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#')}) {
        if (IdentifyFileEntry(folder + owner, nullptr, nullptr))
            return folder + owner;
    }
    return QString();
}

} // namespace workbook

#include "platform/fileidentity.h"
#include "platform/posix/statidentity.h"

#include <QFile>

bool IdentifyFileEntry(const QString &path, FileIdentity *identity, bool *regular,
                       std::uint64_t *links)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (identity)
        *identity = IdentityOfStat(st);
    if (regular)
        *regular = S_ISREG(st.st_mode);
    if (links)
        *links = std::uint64_t(st.st_nlink);
    return true;
}

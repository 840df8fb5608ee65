#pragma once

#include "platform/fileidentity.h"

#include <sys/stat.h>

inline FileIdentity IdentityOfStat(const struct stat &st)
{
    FileIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.index = std::uint64_t(st.st_ino);
    id.size = std::int64_t(st.st_size);
    id.modifiedSeconds = std::int64_t(st.st_mtim.tv_sec);
    id.modifiedNanoseconds = long(st.st_mtim.tv_nsec);
    return id;
}

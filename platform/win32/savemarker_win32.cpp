#include "platform/savemarker.h"

// Windows keeps no user attributes that a save could mark its temporary with, so no file is
// ever provably a dead save's: every temporary stays for the user to judge.
const char *const SaveMarker::kAttributeName = "";

QByteArray SaveMarker::Current()
{
    return QByteArray();
}

bool SaveMarker::IsStale(const QByteArray &)
{
    return false;
}

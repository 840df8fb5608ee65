#pragma once

#include <QByteArray>

// The mark a save puts on its temporary file (an extended attribute) so that a later run can
// tell a temporary left by a dead save from anything else, whatever its name: it names the
// machine, its boot and the saving process with that process's start time. Windows has no
// such attributes: there the mark is empty and never stale.
class SaveMarker
{
public:
    static const char *const kAttributeName;

    // This process's mark.
    static QByteArray Current();
    // Whether the save that wrote this mark is certainly gone: same machine, and either
    // another boot or no process of that id and start time. A mark from another machine (a
    // shared folder) or one that cannot be parsed is never stale.
    static bool IsStale(const QByteArray &mark);
};

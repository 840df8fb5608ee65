#pragma once

#include <QString>

// The extended attributes of a file (user.*, security.*, trusted.*, and POSIX ACLs, which
// live in system.posix_acl_*) carried over to its replacement.
class ExtendedAttributes
{
public:
    // Copies every attribute of the file open as from to the file open as to, except the one
    // named skip (may be null). An attribute the file system or the caller's rights do not
    // allow (ENOTSUP, EPERM, EACCES) is left out silently: the file is still saved, as a copy
    // by any other program would be. False with *reason only when reading them fails
    // otherwise or a permitted one cannot be written.
    static bool Copy(int from, int to, const char *skip, QString *reason);
};

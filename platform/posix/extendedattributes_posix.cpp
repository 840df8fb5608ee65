#include "platform/posix/extendedattributes.h"

#include <QByteArray>
#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace
{

bool notPermittedHere(int err)
{
    return err == ENOTSUP || err == EPERM || err == EACCES;
}

QString errnoText(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

// A size query followed by the read; the attribute may grow in between, so a few rounds.
template <typename Query> bool readGrowing(Query query, QByteArray *out, int *err)
{
    for (int round = 0; round < 4; ++round) {
        const ssize_t size = query(nullptr, 0);
        if (size < 0) {
            *err = errno;
            return false;
        }
        out->resize(int(size));
        if (size == 0)
            return true;
        const ssize_t got = query(out->data(), size_t(size));
        if (got >= 0) {
            out->resize(int(got));
            return true;
        }
        if (errno != ERANGE) {
            *err = errno;
            return false;
        }
    }
    *err = ERANGE;
    return false;
}

} // namespace

bool ExtendedAttributes::Copy(int from, int to, const char *skip, QString *reason)
{
    QByteArray names;
    int err = 0;
    if (!readGrowing([from](char *buf, size_t size) { return ::flistxattr(from, buf, size); },
                     &names, &err)) {
        if (notPermittedHere(err))
            return true;
        if (reason)
            *reason = errnoText("cannot list the extended attributes", err);
        return false;
    }
    for (const char *name = names.constData(); name < names.constData() + names.size();
         name += std::strlen(name) + 1) {
        if (!*name || (skip && std::strcmp(name, skip) == 0))
            continue;
        QByteArray value;
        if (!readGrowing(
                [from, name](char *buf, size_t size) { return ::fgetxattr(from, name, buf, size); },
                &value, &err)) {
            // Gone since the listing, or not ours to read.
            if (err == ENODATA || notPermittedHere(err))
                continue;
            if (reason)
                *reason = errnoText("cannot read an extended attribute", err);
            return false;
        }
        if (::fsetxattr(to, name, value.constData(), size_t(value.size()), 0) != 0) {
            const int setErr = errno;
            if (notPermittedHere(setErr))
                continue;
            if (reason)
                *reason = errnoText("cannot copy an extended attribute", setErr) +
                          QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(name));
            return false;
        }
    }
    return true;
}

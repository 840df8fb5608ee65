#include "platform/savemarker.h"

#include <QFile>
#include <QList>
#include <cerrno>
#include <csignal>
#include <unistd.h>

const char *const SaveMarker::kAttributeName = "user.tessaromandel.save";

namespace
{

QByteArray readSmallFile(const QByteArray &path)
{
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.read(4096);
}

QByteArray hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return QByteArray();
    return QByteArray(name);
}

QByteArray bootId()
{
    return readSmallFile("/proc/sys/kernel/random/boot_id").trimmed();
}

// Field 22 of /proc/<pid>/stat: the start time in clock ticks since boot. The command name
// (field 2) may hold spaces and parentheses, so fields are counted after its last ')'.
QByteArray startTime(qint64 pid)
{
    const QByteArray stat = readSmallFile("/proc/" + QByteArray::number(pid) + "/stat");
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return QByteArray();
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // After the name: field 3 (state) is index 0, so field 22 is index 19.
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

} // namespace

QByteArray SaveMarker::Current()
{
    const qint64 pid = qint64(::getpid());
    return "v1 " + hostName().toPercentEncoding() + ' ' + bootId() + ' ' + QByteArray::number(pid) +
           ' ' + startTime(pid);
}

bool SaveMarker::IsStale(const QByteArray &mark)
{
    const QList<QByteArray> fields = mark.split(' ');
    if (fields.size() != 5 || fields.at(0) != "v1" || fields.at(2).isEmpty() ||
        fields.at(4).isEmpty())
        return false;
    if (QByteArray::fromPercentEncoding(fields.at(1)) != hostName())
        return false;
    if (fields.at(2) != bootId())
        return true;
    bool ok = false;
    const qint64 pid = fields.at(3).toLongLong(&ok);
    if (!ok || pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    // A process of that id lives: it is another one only when its start time says so. One
    // whose start time cannot be read (another user's, a hidden /proc) counts as the writer.
    const QByteArray started = startTime(pid);
    return !started.isEmpty() && started != fields.at(4);
}

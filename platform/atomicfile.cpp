#include "platform/atomicfile.h"

#include <QRandomGenerator>

const char *const AtomicFile::kChangedWhileEditing = "changed while being edited";

namespace
{

const char kTemporaryPrefix[] = ".~tm";
const char kTemporarySuffix[] = ".tsave";
const int kRandomBytes = 6;

} // namespace

QByteArray AtomicFile::NewTemporaryName()
{
    // The system generator: two processes started together still draw different names.
    const quint64 random = QRandomGenerator::system()->generate64();
    return kTemporaryPrefix +
           QByteArray(reinterpret_cast<const char *>(&random), kRandomBytes).toHex() +
           kTemporarySuffix;
}

bool AtomicFile::HasTemporaryName(const QByteArray &fileName)
{
    const int minimum = int(sizeof kTemporaryPrefix - 1 + sizeof kTemporarySuffix - 1);
    if (fileName.size() != minimum + 2 * kRandomBytes || !fileName.startsWith(kTemporaryPrefix) ||
        !fileName.endsWith(kTemporarySuffix))
        return false;
    for (int i = int(sizeof kTemporaryPrefix - 1);
         i < int(sizeof kTemporaryPrefix - 1) + 2 * kRandomBytes; ++i) {
        const char c = fileName.at(i);
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool AtomicFile::Write(const QString &path, const QByteArray &bytes, const FileIdentity &expected,
                       FileIdentity *written, QString *reason)
{
    return Write(
        path, [&bytes](ByteSink &sink) { return sink.Write(bytes.constData(), bytes.size()); },
        expected, written, reason);
}

#include "cli/pairfile.h"

#include <QFile>
#include <QTextCodec>

namespace
{

// 1-based line of the character at index (counted by line feeds before it).
int lineAt(const QString &text, int index)
{
    return text.leftRef(index).count(QLatin1Char('\n')) + 1;
}

int lineAtByte(const QByteArray &bytes, int index)
{
    return bytes.left(index).count('\n') + 1;
}

QString where(const QString &path, int line)
{
    return QStringLiteral("%1: 第 %2 行 line %2: ").arg(path).arg(line);
}

// Strict UTF-16 of either byte order: an odd byte count or a lone surrogate is an error.
bool decodeUtf16(const QByteArray &bytes, bool bigEndian, const QString &path, QString *text,
                 QString *error)
{
    QString out;
    out.reserve(bytes.size() / 2);
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (int i = 0; i + 1 < bytes.size(); i += 2) {
        const ushort unit = bigEndian ? ushort(p[i] << 8 | p[i + 1]) : ushort(p[i + 1] << 8 | p[i]);
        out.append(QChar(unit));
    }
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            *error = where(path, lineAt(out, i)) +
                     QStringLiteral("UTF-16 代理项不成对 an unpaired UTF-16 surrogate");
            return false;
        }
    }
    if (bytes.size() % 2 != 0) {
        *error = where(path, lineAt(out, out.size())) +
                 QStringLiteral("UTF-16 文件的字节数为奇数 a UTF-16 file of an odd byte count");
        return false;
    }
    *text = out;
    return true;
}

// Line by line, so that the error names the first line that does not decode. Every 8-bit and
// multi-byte encoding this reads keeps the line feed byte for the line feed.
bool decodeWith(QTextCodec *codec, const QByteArray &bytes, const QString &path, QString *text,
                QString *error)
{
    QString out;
    int line = 1;
    int start = 0;
    while (start <= bytes.size()) {
        int end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const QString decoded = codec->toUnicode(bytes.constData() + start, end - start, &state);
        if (state.invalidChars > 0 || state.remainingChars > 0) {
            *error = where(path, line) + QStringLiteral("不是有效的 %1 文本 not valid %1 text")
                                             .arg(QString::fromLatin1(codec->name()));
            return false;
        }
        out += decoded;
        if (end < bytes.size())
            out += QLatin1Char('\n');
        start = end + 1;
        ++line;
    }
    *text = out;
    return true;
}

} // namespace

bool PairFile::isKnownEncoding(const QByteArray &encoding)
{
    return QTextCodec::codecForName(encoding) != nullptr;
}

bool PairFile::read(const QString &path, const QByteArray &encoding, QString *text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取文件 Cannot read file: ") + path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        *error = QStringLiteral("无法读取文件 Cannot read file: ") + path;
        return false;
    }
    return decode(bytes, path, encoding, text, error);
}

bool PairFile::decode(const QByteArray &bytes, const QString &path, const QByteArray &encoding,
                      QString *text, QString *error)
{
    QString decoded;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        if (!decodeWith(QTextCodec::codecForName("UTF-8"), bytes.mid(3), path, &decoded, error))
            return false;
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        if (!decodeUtf16(bytes.mid(2), bytes.at(0) == '\xFE', path, &decoded, error))
            return false;
    } else {
        QTextCodec *codec =
            encoding.isEmpty() ? QTextCodec::codecForLocale() : QTextCodec::codecForName(encoding);
        if (!codec) {
            *error = QStringLiteral("未知编码 Unknown encoding: ") + QString::fromLatin1(encoding);
            return false;
        }
        const int mib = codec->mibEnum();
        // 1013 UTF-16BE, 1014 UTF-16LE, 1015 UTF-16: without a mark taken as little-endian,
        // what Windows calls "Unicode" and writes.
        if (mib == 1013 || mib == 1014 || mib == 1015) {
            if (!decodeUtf16(bytes, mib == 1013, path, &decoded, error))
                return false;
        } else {
            const int nul = bytes.indexOf('\0');
            if (nul >= 0) {
                *error = where(path, lineAtByte(bytes, nul)) +
                         QStringLiteral("含有 NUL 字节;UTF-16 文件请加字节顺序标记或用 --encoding "
                                        "UTF-16LE holds a NUL byte; give a UTF-16 file a "
                                        "byte-order mark or --encoding UTF-16LE");
                return false;
            }
            if (!decodeWith(codec, bytes, path, &decoded, error))
                return false;
        }
    }
    const int nul = decoded.indexOf(QChar(0));
    if (nul >= 0) {
        *error = where(path, lineAt(decoded, nul)) +
                 QStringLiteral("含有 NUL 字符 holds a NUL character");
        return false;
    }
    *text = decoded;
    return true;
}

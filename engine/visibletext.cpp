#include "engine/visibletext.h"

#include <QFile>

QString VisibleText(const QString &text)
{
    QString visible;
    visible.reserve(text.size());
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code == '\n') {
            visible += QLatin1String("\\n");
        } else if (code == '\r') {
            visible += QLatin1String("\\r");
        } else if (code == '\t') {
            visible += QLatin1String("\\t");
        } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
            visible += QLatin1String("\\x") +
                       QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        } else if (code == 0x2028 || code == 0x2029) {
            visible += QStringLiteral("\\u%1").arg(code, 4, 16);
        } else {
            visible += c;
        }
    }
    return visible;
}

QString VisibleLocalName(const QByteArray &bytes)
{
    QString visible;
    int at = 0;
    while (at < bytes.size()) {
        // A character of the local encoding takes at most four bytes (UTF-8, GB18030).
        int taken = 0;
        for (int length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
            const QByteArray piece = bytes.mid(at, length);
            const QString decoded = QFile::decodeName(piece);
            if (!decoded.isEmpty() && !decoded.contains(QChar::ReplacementCharacter) &&
                QFile::encodeName(decoded) == piece) {
                visible += decoded;
                taken = length;
                break;
            }
        }
        if (taken == 0) {
            visible += QLatin1String("\\x") + QString::number(uchar(bytes.at(at)), 16)
                                                  .toUpper()
                                                  .rightJustified(2, QLatin1Char('0'));
            taken = 1;
        }
        at += taken;
    }
    return visible;
}

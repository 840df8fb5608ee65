#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Builds BIFF8 workbook streams record by record for tests: the workbook globals with one
// BOUNDSHEET8 per sheet (stream positions filled in), then each sheet's substream.
class BiffStreamBuilder
{
public:
    struct Sheet {
        QString name;
        quint8 type = 0;  // BOUNDSHEET8: 0 worksheet or dialog, 1 macro, 2 chart, 6 VB module
        quint8 state = 0; // 0 visible, 1 hidden, 2 very hidden
        quint16 bofType = 0x0010;
        QByteArray records; // between the sheet's BOF and EOF
    };

    QByteArray globals; // records after the globals' BOF, before the BOUNDSHEET8s
    QVector<Sheet> sheets;

    QByteArray build() const;
    // The stream inside a compound file, as an .xls file holds it.
    QByteArray file() const;

    static QByteArray record(quint16 type, const QByteArray &body);
    static QByteArray u8(int v);
    static QByteArray u16(int v);
    static QByteArray u32(quint32 v);
    static QByteArray f64(double v);
    // XLUnicodeString (two-byte count) or ShortXLUnicodeString (one-byte count); wide when
    // any character is beyond Latin-1.
    static QByteArray string(const QString &s, int countBytes = 2);
    static QByteArray bof(quint16 type);
    // One XF record with the given number format and locked flag.
    static QByteArray xf(int format, bool locked = true);
};

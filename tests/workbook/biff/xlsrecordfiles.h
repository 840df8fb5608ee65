#pragma once

#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/compoundfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QVector>
#include <QtEndian>

// The records of real .xls files, one by one, for the tests of the record builders.
namespace xlsrecordfiles
{

struct Record {
    quint16 type = 0;
    qsizetype offset = 0;
    QByteArray body;
};

// A stream of an .xls file; empty when the file is no readable compound file or lacks it.
inline QByteArray stream(const QString &path, const QString &name)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString why;
    const auto cf = workbook::cfb::CompoundFile::open(f.readAll(), &why);
    if (!cf)
        return {};
    const int entry = cf->findRootEntry(name);
    QByteArray out;
    if (entry < 0 || !cf->readStream(entry, &out, &why))
        return {};
    return out;
}

// Every record in order, CONTINUE records as records of their own; stops before a record
// that runs past the stream.
inline QVector<Record> records(const QByteArray &stream)
{
    QVector<Record> out;
    qsizetype pos = 0;
    while (pos + 4 <= stream.size()) {
        const quint16 type = qFromLittleEndian<quint16>(stream.constData() + pos);
        const quint16 length = qFromLittleEndian<quint16>(stream.constData() + pos + 2);
        if (pos + 4 + length > stream.size())
            break;
        out.append({type, pos, stream.mid(pos + 4, length)});
        pos += 4 + length;
    }
    return out;
}

// The corpus's .xls files (the folder the tests are given), sorted.
inline QStringList corpusFiles()
{
    const QString dir = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    QStringList out;
    QDirIterator it(dir, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    out.sort();
    return out;
}

inline QByteArray fromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

} // namespace xlsrecordfiles

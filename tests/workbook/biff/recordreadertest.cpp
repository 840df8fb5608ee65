#include "workbook/biff/recordreader.h"

#include "tests/workbook/biff/xlsrecordfiles.h"
#include "workbook/cfb/streambytes.h"

#include <QRandomGenerator>
#include <QtTest>

using workbook::biff::Record;
using workbook::biff::RecordReader;
using workbook::cfb::StreamBytes;

namespace
{

// What a walk over a stream yields, record by record, and how it ends.
struct Walk {
    QVector<quint16> types;
    QVector<qsizetype> offsets;
    QByteArray bodies; // each body's size, then the body
    QVector<qsizetype> continues;
    qsizetype end = 0;
    QString error;
    bool operator==(const Walk &o) const
    {
        return types == o.types && offsets == o.offsets && bodies == o.bodies &&
               continues == o.continues && end == o.end && error == o.error;
    }
};

// The string table and number cells: what a walk that passes over the rest reads.
bool wanted(quint16 type)
{
    return type == 0x00FC || type == 0x0203;
}

enum class Records { All, Wanted, SkippingUnwanted };

// Every record; those wanted() wants, read one by one or after skipUnwanted().
Walk walk(RecordReader reader, Records records = Records::All)
{
    Walk out;
    Record r;
    for (;;) {
        if (records == Records::SkippingUnwanted)
            reader.skipUnwanted(wanted);
        if (!reader.next(&r))
            break;
        // skipUnwanted() leaves a record cut by the end of a piece to next().
        if (records != Records::All && !wanted(r.type))
            continue;
        out.types << r.type;
        out.offsets << r.offset;
        out.bodies += QByteArray::number(r.body.size()) + ':' + r.body.view(r.body.size());
        out.continues << r.continues << -1;
    }
    out.end = reader.position();
    out.error = reader.error();
    return out;
}

// The stream cut at `cuts`, its pieces laid out in a file back to front with other bytes
// between them, as a compound file scatters a stream's sectors: a read that runs over the end
// of a piece finds the wrong bytes.
struct Scattered {
    QByteArray file;
    StreamBytes stream;
};

Scattered scatter(const QByteArray &whole, QVector<qsizetype> cuts)
{
    cuts.prepend(0);
    cuts.append(whole.size());
    QVector<qsizetype> at(cuts.size() - 1);
    Scattered s;
    for (int i = cuts.size() - 2; i >= 0; --i) {
        s.file.append(QByteArray(3, '\x3C'));
        at[i] = s.file.size();
        s.file.append(whole.mid(cuts[i], cuts[i + 1] - cuts[i]));
    }
    for (int i = 0; i + 1 < cuts.size(); ++i)
        s.stream.append(s.file, at[i], cuts[i + 1] - cuts[i]);
    return s;
}

QByteArray record(quint16 type, const QByteArray &body)
{
    QByteArray out;
    out.append(char(type & 0xFF)).append(char(type >> 8));
    out.append(char(body.size() & 0xFF)).append(char(body.size() >> 8));
    return out + body;
}

} // namespace

class RecordReaderTest : public QObject
{
    Q_OBJECT

private slots:
    // Records read from a stream in scattered pieces are the records of the stream in one
    // buffer, wherever the pieces end: in a header, in a body, in a CONTINUE record, or at a
    // record that runs past the end; and so are those a walk reads that passes over others.
    void piecesReadAsTheWholeStream()
    {
        QVector<QByteArray> streams;
        // A string table continued twice, a drawing whose CONTINUE is not merged, a record
        // past the end of the stream.
        streams << record(0x00FC, QByteArray(10, 'a')) + record(0x003C, QByteArray(5, 'b')) +
                       record(0x003C, QByteArray(7, 'c')) + record(0x00EC, QByteArray(6, 'd')) +
                       record(0x003C, QByteArray(9, 'e')) + record(0x0203, QByteArray(14, 'f')) +
                       QByteArray("\x04\x02\xFF\x00zz", 6);
        for (const QString &path : xlsrecordfiles::corpusFiles()) {
            const QByteArray stream = xlsrecordfiles::stream(path, QStringLiteral("Workbook"));
            if (!stream.isEmpty() && stream.size() <= (256 << 10))
                streams << stream;
        }
        QVERIFY(streams.size() > 100);
        QRandomGenerator random(10);
        for (const QByteArray &whole : streams) {
            const Walk expected = walk(RecordReader(whole, 0));
            const Walk expectedWanted = walk(RecordReader(whole, 0), Records::Wanted);
            QVERIFY(walk(RecordReader(whole, 0), Records::SkippingUnwanted) == expectedWanted);
            // In the made stream every cut (header, body, CONTINUE, the record past the end);
            // in each stream pieces of sector sizes and of random sizes from one byte on.
            QVector<QVector<qsizetype>> splits;
            for (qsizetype at = 1; whole.size() < 100 && at < whole.size(); ++at)
                splits.append(QVector<qsizetype>{at});
            for (qsizetype step : {qsizetype(512), qsizetype(4096)}) {
                QVector<qsizetype> cuts;
                for (qsizetype at = step; at < whole.size(); at += step)
                    cuts << at;
                splits.append(cuts);
            }
            QVector<qsizetype> cuts;
            for (qsizetype at = 1 + random.bounded(600); at < whole.size();
                 at += 1 + random.bounded(600))
                cuts << at;
            splits.append(cuts);
            for (const QVector<qsizetype> &split : splits) {
                const Scattered s = scatter(whole, split);
                QCOMPARE(s.stream.joined(), whole);
                QVERIFY(walk(RecordReader(s.stream, 0)) == expected);
                QVERIFY(walk(RecordReader(s.stream, 0), Records::SkippingUnwanted) ==
                        expectedWanted);
            }
        }
    }
};

QTEST_GUILESS_MAIN(RecordReaderTest)
#include "recordreadertest.moc"

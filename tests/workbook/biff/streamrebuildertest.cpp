#include "workbook/biff/streamrebuilder.h"

#include "tests/workbook/support/biffstreambuilder.h"
#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/cfb/compoundfile.h"

#include <QtTest>
#include <algorithm>
#include <cstring>

using workbook::biff::NewRecord;
using workbook::biff::StreamEdits;
using workbook::biff::StreamRebuilder;
namespace rt = workbook::biff::rt;
using B = BiffStreamBuilder;

namespace
{

QString corpusFolder()
{
    const QString configured = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/../shared/corpus");
}

QString script(const QString &name)
{
    return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbook/biff/" + name;
}

bool workbookStream(const QString &path, QByteArray *stream)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QString why;
    const auto file = workbook::cfb::CompoundFile::open(f.readAll(), &why);
    if (!file)
        return false;
    const int entry = file->findRootEntry(QStringLiteral("Workbook"));
    return entry >= 0 && file->readStream(entry, stream, &why);
}

bool writeXls(const QString &path, const QByteArray &stream)
{
    CompoundFileBuilder b;
    b.addStream(QStringLiteral("Workbook"), stream);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b.build()) > 0;
}

// Runs one of the Python readers over files; its JSON answer, or empty when it cannot run.
QJsonObject runPython(const QString &name, const QStringList &files)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.json");
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start("/usr/bin/python3", QStringList{script(name), out} + files);
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        return {};
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

struct Walked {
    quint16 type;
    qsizetype offset;
    QByteArray body; // CONTINUE records merged
};

QVector<Walked> walk(const QByteArray &stream)
{
    QVector<Walked> out;
    workbook::biff::RecordReader reader(stream, 0);
    workbook::biff::Record r;
    while (reader.next(&r)) {
        workbook::cfb::ByteCursor body = r.body;
        out.append({r.type, r.offset, body.bytes(body.size())});
    }
    return out;
}

// The strings of a stream's SST as whole XLUnicodeRichExtendedStrings, the flag bytes that
// repeat at CONTINUE boundaries taken out. *sameWidth is false when a string changes width
// where it is cut, which a rewrite does not reproduce.
bool sstStrings(const QByteArray &stream, QVector<QByteArray> *strings, quint32 *uses,
                bool *sameWidth)
{
    workbook::biff::RecordReader reader(stream, 0);
    workbook::biff::Record r;
    while (reader.next(&r) && r.type != rt::kSst) {
    }
    if (r.type != rt::kSst)
        return false;
    *sameWidth = true;
    const QByteArray body = r.body.bytes(r.body.size());
    const QVector<qsizetype> cuts = r.continues;
    workbook::cfb::ByteCursor c(body);
    *uses = c.u32();
    const quint32 count = c.u32();
    auto cutAt = [&](qsizetype at) { return std::binary_search(cuts.begin(), cuts.end(), at); };
    for (quint32 i = 0; i < count && c.ok(); ++i) {
        const qsizetype start = c.position();
        const quint16 chars = c.u16();
        const quint8 flags = c.u8();
        const quint16 runs = (flags & 0x08) ? c.u16() : 0;
        const quint32 phonetic = (flags & 0x04) ? c.u32() : 0;
        const qsizetype header = c.position() - start;
        QVector<quint16> text;
        bool wide = flags & 1, anyWide = wide;
        for (int left = chars; left > 0 && c.ok(); --left) {
            if (cutAt(c.position())) {
                const bool now = c.u8() & 1;
                *sameWidth = *sameWidth && now == wide;
                wide = now;
                anyWide = anyWide || wide;
            }
            text.append(wide ? c.u16() : c.u8());
        }
        // A string cut where its width changes is held in one width, the wider.
        QByteArray s = body.mid(int(start), int(header));
        s[2] = char((flags & ~1) | (anyWide ? 1 : 0));
        for (const quint16 ch : text)
            s += anyWide ? B::u16(ch) : B::u8(ch);
        s += c.bytes(4 * runs + phonetic);
        strings->append(s);
    }
    return c.ok();
}

QByteArray numberBody(int row, int column, double v)
{
    return B::u16(row) + B::u16(column) + B::u16(15) + B::f64(v);
}

QByteArray richString(const QString &text, bool wide, int runs, int phonetic)
{
    QByteArray s =
        B::u16(text.size()) + B::u8((wide ? 1 : 0) | (runs ? 8 : 0) | (phonetic ? 4 : 0));
    if (runs)
        s += B::u16(runs);
    if (phonetic)
        s += B::u32(quint32(phonetic));
    for (QChar ch : text)
        s += wide ? B::u16(ch.unicode()) : B::u8(ch.unicode());
    for (int i = 0; i < runs; ++i)
        s += B::u16(qMin(i, text.size() - 1)) + B::u16(0);
    // A phonetic block as Excel writes one: ExtRst with an empty phonetic text.
    if (phonetic)
        s += B::u16(1) + B::u16(phonetic - 4) + QByteArray(phonetic - 4, '\0');
    return s;
}

// A figure of /proc/self/status in kB, or -1.
qint64 residentKb(const char *field)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

// Rebuilding the workbook stream from its edits: what is not edited stays as it was, the
// string table is cut where Excel cuts it, and stream positions follow the records.
class StreamRebuilderTest : public QObject
{
    Q_OBJECT

private slots:
    void noEditsGiveTheStreamByteForByteOverTheCorpus()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        QDirIterator it(corpus, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
        int rebuilt = 0, refused = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            QByteArray stream, out;
            if (!workbookStream(file, &stream))
                continue;
            QString why;
            if (StreamRebuilder::rebuild(stream, StreamEdits(), &out, &why)) {
                QVERIFY2(out == stream, qPrintable(file));
                ++rebuilt;
            } else {
                // Only streams whose records cannot be walked are refused.
                QVERIFY2(why.contains("past the end"), qPrintable(file + ": " + why));
                QVERIFY(out.isEmpty());
                ++refused;
            }
        }
        qInfo("%d workbook streams rebuilt unchanged, %d refused", rebuilt, refused);
        QVERIFY(rebuilt > 100);
    }

    // Excel's own string tables, written anew from their strings, come out as Excel wrote them:
    // the same CONTINUE cuts and the same EXTSST.
    void stringTableRewrittenLikeExcel()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        const QJsonObject checked = runPython("xlspositions.py", [&] {
            QStringList files;
            QDirIterator it(corpus, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
            return files;
        }());
        if (checked.isEmpty())
            QSKIP("python3-olefile is not installed");
        int same = 0, continued = 0;
        QStringList differ;
        for (auto i = checked.begin(); i != checked.end(); ++i) {
            const QJsonObject o = i.value().toObject();
            // Files that hold positions as Excel computes them, with a string table.
            if (!o.value("problems").toArray().isEmpty() ||
                o.value("counts").toObject().value("strings").toInt() == 0)
                continue;
            QByteArray stream, out;
            QVERIFY(workbookStream(i.key(), &stream));
            StreamEdits edits;
            edits.stringsChanged = true;
            bool sameWidth = true;
            QVERIFY2(sstStrings(stream, &edits.strings, &edits.stringUses, &sameWidth),
                     qPrintable(i.key()));
            if (!sameWidth)
                continue;
            QString why;
            QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why),
                     qPrintable(i.key() + ": " + why));
            if (out == stream) {
                ++same;
                continued += o.value("counts").toObject().value("sst_continues").toInt() > 0;
            } else {
                qsizetype at = 0;
                while (at < qMin(out.size(), stream.size()) && out[int(at)] == stream[int(at)])
                    ++at;
                differ << QStringLiteral("%1 (first at %2 of %3, now %4 bytes)")
                              .arg(i.key())
                              .arg(at)
                              .arg(stream.size())
                              .arg(out.size());
            }
        }
        qInfo("%d string tables rewritten byte for byte, %d of them with CONTINUE records", same,
              continued);
        for (const QString &d : differ)
            qInfo("rewritten differently: %s", qPrintable(d));
        QVERIFY(same > 50);
        QVERIFY(continued > 5);
        QCOMPARE(differ.size(), 0);
    }

    void editedCorpusWorkbooksReadBackWithPositionsRight_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("newStrings");
        for (const char *f :
             {"poi/44235.xls", "poi/29982.xls", "poi/12843-1.xls", "poi/florida_data.ashx.xls"}) {
            QTest::addRow("%s, new strings", f) << QString::fromLatin1(f) << true;
            // The string table copied as it was, its EXTSST moved with it.
            QTest::addRow("%s, same strings", f) << QString::fromLatin1(f) << false;
        }
    }

    void editedCorpusWorkbooksReadBackWithPositionsRight()
    {
        QFETCH(QString, file);
        QFETCH(bool, newStrings);
        const QString source = corpusFolder() + "/" + file;
        if (!QFileInfo::exists(source))
            QSKIP("the corpus folder is not beside the source tree");
        QTemporaryDir dir;
        const QString original = dir.filePath("original.xls");
        const QString edited = dir.filePath("edited.xls");
        QVERIFY(QFile::copy(source, original));
        QByteArray stream;
        QVERIFY(workbookStream(original, &stream));

        StreamEdits edits;
        edits.stringsChanged = newStrings;
        bool sameWidth = true;
        QVERIFY(sstStrings(stream, &edits.strings, &edits.stringUses, &sameWidth));
        // A long new string in each width, so the table grows by CONTINUE records.
        const int narrow = edits.strings.size();
        edits.strings << richString(QString(9000, 'n'), false, 0, 0)
                      << richString(QString(7000, QChar(0x416)), true, 0, 0);
        QMap<QString, QVariant> expected;  // "sheet/row/column" -> value
        QHash<qsizetype, QString> sheetAt; // BOF position -> sheet name
        QString sheet, firstName;
        int depth = 0, changed = 0;
        for (const Walked &r : walk(stream)) {
            if (r.type == rt::kBof) {
                const bool worksheet = r.body.size() >= 4 && r.body.mid(2, 2) == B::u16(0x10);
                sheet = ++depth == 1 && worksheet ? sheetAt.value(r.offset) : QString();
            } else if (r.type == rt::kEof) {
                --depth;
                sheet.clear();
            }
            if (r.type == rt::kBoundSheet) {
                workbook::cfb::ByteCursor c(r.body);
                const qsizetype at = c.u32();
                c.skip(2);
                const int length = c.u8();
                const QString name = (c.u8() & 1) ? c.utf16(length) : c.latin1(length);
                sheetAt.insert(at, name);
                if (!firstName.isEmpty())
                    continue;
                // A longer sheet name moves every substream after the globals.
                firstName = name;
                QByteArray body = r.body.left(6) + B::string("A much longer first sheet", 1);
                edits.replaced.insert(r.offset, {NewRecord{rt::kBoundSheet, body}});
                continue;
            }
            if (sheet.isEmpty() || r.body.size() < 6)
                continue;
            const int row = quint8(r.body[0]) | quint8(r.body[1]) << 8;
            const int column = quint8(r.body[2]) | quint8(r.body[3]) << 8;
            const QString key = QStringLiteral("%1/%2/%3").arg(sheet).arg(row).arg(column);
            if (r.type == rt::kNumber && changed % 2 == 0 && newStrings) {
                // Shorter: the number becomes one of the new strings.
                const int s = changed % 4 == 0 ? narrow : narrow + 1;
                edits.replaced.insert(
                    r.offset, {NewRecord{rt::kLabelSst, r.body.left(6) + B::u32(quint32(s))}});
                expected.insert(key,
                                s == narrow ? QString(9000, 'n') : QString(7000, QChar(0x416)));
                ++edits.stringUses;
            } else if (r.type == rt::kLabelSst && changed % 2 == 1) {
                // Longer: the text becomes a number.
                edits.replaced.insert(r.offset,
                                      {NewRecord{rt::kNumber, numberBody(row, column, row + 0.5)}});
                expected.insert(key, row + 0.5);
            } else if (r.type == rt::kRk && changed % 3 == 0) {
                // A cell added before it, in a column of its own.
                edits.insertedBefore.insert(
                    r.offset, {NewRecord{rt::kNumber, numberBody(row, 250, column * 2.0)}});
                expected.insert(QStringLiteral("%1/%2/250").arg(sheet).arg(row), column * 2.0);
            } else {
                ++changed;
                continue;
            }
            ++changed;
        }
        QVERIFY(expected.size() > 20);

        QByteArray out;
        QString why;
        QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why), qPrintable(why));
        QVERIFY(writeXls(edited, out));

        const QJsonObject positions = runPython("xlspositions.py", {original, edited});
        if (positions.isEmpty())
            QSKIP("python3-olefile is not installed");
        QCOMPARE(positions.value(original).toObject().value("problems").toArray().size(), 0);
        const QJsonObject after = positions.value(edited).toObject();
        QCOMPARE(after.value("problems").toArray(), QJsonArray());
        if (newStrings)
            QVERIFY(after.value("counts").toObject().value("sst_continues").toInt() >
                    positions.value(original)
                        .toObject()
                        .value("counts")
                        .toObject()
                        .value("sst_continues")
                        .toInt());

        const QJsonObject cells = runPython("xlrdcells.py", {original, edited});
        QVERIFY(!cells.isEmpty());
        const QJsonArray before = cells.value(original).toObject().value("sheets").toArray();
        const QJsonArray now = cells.value(edited).toObject().value("sheets").toArray();
        QCOMPARE(now.size(), before.size());
        // Every cell reads back as it was or as edited.
        int matched = 0;
        for (int i = 0; i < now.size(); ++i) {
            const QString name = before[i].toObject().value("name").toString();
            QCOMPARE(now[i].toObject().value("name").toString(),
                     name == firstName ? QStringLiteral("A much longer first sheet") : name);
            QMap<QString, QVariant> want, got;
            auto cellsOf = [&](const QJsonObject &o, QMap<QString, QVariant> *into) {
                for (const QJsonValue &c : o.value("cells").toArray()) {
                    const QJsonArray a = c.toArray();
                    into->insert(
                        QStringLiteral("%1/%2/%3").arg(name).arg(a[0].toInt()).arg(a[1].toInt()),
                        a[3].toVariant());
                }
            };
            cellsOf(before[i].toObject(), &want);
            cellsOf(now[i].toObject(), &got);
            for (auto e = expected.begin(); e != expected.end(); ++e)
                if (e.key().startsWith(name + "/"))
                    want.insert(e.key(), e.value());
            for (auto w = want.begin(); w != want.end(); ++w) {
                QVERIFY2(got.contains(w.key()), qPrintable(w.key()));
                if (w.value().type() == QVariant::String)
                    QCOMPARE(got.value(w.key()).toString(), w.value().toString());
                else
                    QCOMPARE(got.value(w.key()).toDouble(), w.value().toDouble());
                ++matched;
            }
            QCOMPARE(got.size(), want.size());
        }
        qInfo("%d cells read back, %d of them edited", matched, int(expected.size()));
    }

    // Strings cut across CONTINUE records in both widths, with formatting runs and phonetic
    // blocks, read back by xlrd.
    void stringTableAcrossContinueRecords()
    {
        QVector<QByteArray> strings;
        QStringList texts;
        auto add = [&](const QString &t, bool wide, int runs = 0, int phonetic = 0) {
            strings << richString(t, wide, runs, phonetic);
            texts << t;
        };
        for (int i = 0; i < 300; ++i)
            add(QStringLiteral("short %1").arg(i), false);
        add(QString(5000, 'a') + "end", false);
        add(QString(4000, QChar(0x3042)) + QStringLiteral("終"), true);
        add(QString(3000, QChar(0x3b1)), true, 500, 0);
        add(QString(2000, 'r'), false, 3000, 0);
        add(QString(1000, 'p'), false, 2, 6000);
        for (int i = 0; i < 200; ++i)
            add(QString(97, QChar(i % 2 ? 0x0100 + i : 'x')), i % 2);

        B book;
        book.globals = B::record(rt::kSst, B::u32(1) + B::u32(1) + B::string("old")) +
                       B::record(rt::kExtSst, B::u16(8) + B::u32(0) + B::u16(12) + B::u16(0));
        B::Sheet sheet;
        sheet.name = "Strings";
        for (int i = 0; i < strings.size(); ++i)
            sheet.records +=
                B::record(rt::kLabelSst, B::u16(i) + B::u16(0) + B::u16(0) + B::u32(quint32(i)));
        book.sheets << sheet;
        const QByteArray stream = book.build();
        StreamEdits edits;
        edits.stringsChanged = true;
        edits.strings = strings;
        edits.stringUses = quint32(strings.size());
        QByteArray out;
        QString why;
        QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why), qPrintable(why));

        QTemporaryDir dir;
        const QString path = dir.filePath("strings.xls");
        QVERIFY(writeXls(path, out));
        const QJsonObject positions = runPython("xlspositions.py", {path});
        if (positions.isEmpty())
            QSKIP("python3-olefile is not installed");
        const QJsonObject p = positions.value(path).toObject();
        QCOMPARE(p.value("problems").toArray(), QJsonArray());
        const QJsonObject counts = p.value("counts").toObject();
        qInfo("%s", QJsonDocument(counts).toJson(QJsonDocument::Compact).constData());
        for (const char *cut : {"cut_wide", "cut_narrow", "cut_runs", "cut_phonetic"})
            QVERIFY2(counts.value(cut).toInt() > 0, cut);

        const QJsonObject cells = runPython("xlrdcells.py", {path});
        QVERIFY2(!cells.value(path).toObject().contains("error"),
                 qPrintable(cells.value(path).toObject().value("error").toString()));
        const QJsonArray read = cells.value(path)
                                    .toObject()
                                    .value("sheets")
                                    .toArray()[0]
                                    .toObject()
                                    .value("cells")
                                    .toArray();
        QCOMPARE(read.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(read[i].toArray()[3].toString(), texts[i]);
    }

    // A workbook without a string table gets one, with its EXTSST, at the end of its globals.
    void stringTableAddedWhereThereWasNone()
    {
        B book;
        B::Sheet sheet;
        sheet.name = "Numbers";
        sheet.records = B::record(rt::kNumber, numberBody(0, 0, 1)) +
                        B::record(rt::kNumber, numberBody(1, 0, 2));
        book.sheets << sheet << sheet;
        book.sheets[1].name = "More";
        const QByteArray stream = book.build();
        const QVector<Walked> records = walk(stream);
        StreamEdits edits;
        edits.stringsChanged = true;
        edits.strings << richString("first", false, 0, 0) << richString("second", false, 0, 0);
        edits.stringUses = 2;
        int seen = 0;
        for (const Walked &r : records)
            if (r.type == rt::kNumber)
                edits.replaced.insert(
                    r.offset, {NewRecord{rt::kLabelSst, r.body.left(6) + B::u32(seen++ % 2)}});
        QByteArray out;
        QString why;
        QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why), qPrintable(why));
        QTemporaryDir dir;
        const QString path = dir.filePath("strings.xls");
        QVERIFY(writeXls(path, out));
        const QJsonObject positions = runPython("xlspositions.py", {path});
        if (positions.isEmpty())
            QSKIP("python3-olefile is not installed");
        QCOMPARE(positions.value(path).toObject().value("problems").toArray(), QJsonArray());
        const QJsonArray sheets =
            runPython("xlrdcells.py", {path}).value(path).toObject().value("sheets").toArray();
        QCOMPARE(sheets.size(), 2);
        for (const QJsonValue &sv : sheets) {
            const QJsonArray cells = sv.toObject().value("cells").toArray();
            QCOMPARE(cells.size(), 2);
            QCOMPARE(cells[0].toArray()[3].toString(), QStringLiteral("first"));
            QCOMPARE(cells[1].toArray()[3].toString(), QStringLiteral("second"));
        }
    }

    void refusesWhatDoesNotFitTheStream()
    {
        B book;
        B::Sheet sheet;
        sheet.name = "S";
        sheet.records =
            B::record(rt::kNumber, numberBody(0, 0, 1)) + B::record(rt::kDbCell, B::u32(0));
        book.sheets << sheet;
        const QByteArray stream = book.build();
        const QVector<Walked> records = walk(stream);
        qsizetype number = -1, dbcell = -1, bof = -1;
        for (const Walked &r : records) {
            if (r.type == rt::kNumber)
                number = r.offset;
            if (r.type == rt::kDbCell)
                dbcell = r.offset;
            if (r.type == rt::kBof && r.offset > 0)
                bof = r.offset;
        }
        auto refused = [&](const StreamEdits &edits, const QByteArray &in, const char *reason) {
            QByteArray out = "untouched";
            QString why;
            const bool ok = StreamRebuilder::rebuild(in, edits, &out, &why);
            if (ok || out != "untouched" || !why.contains(QLatin1String(reason)))
                qWarning("expected a refusal with '%s', got '%s'", reason, qPrintable(why));
            return !ok && out == "untouched" && why.contains(QLatin1String(reason));
        };
        // A record that runs past the end.
        QVERIFY(refused(StreamEdits(), stream.left(stream.size() - 6), "past the end"));
        StreamEdits inside;
        inside.replaced.insert(number + 2, {});
        QVERIFY(refused(inside, stream, "where no record"));
        StreamEdits beyond;
        beyond.insertedBefore.insert(stream.size() + 10, {NewRecord{rt::kBlank, B::u32(0)}});
        QVERIFY(refused(beyond, stream, "where no record"));
        StreamEdits tooLong;
        tooLong.replaced.insert(number, {NewRecord{rt::kLabel, QByteArray(8225, 'x')}});
        QVERIFY(refused(tooLong, stream, "at most 8224"));
        StreamEdits structure;
        structure.replaced.insert(dbcell, {NewRecord{rt::kDbCell, B::u32(0)}});
        QVERIFY(refused(structure, stream, "records around it"));
        StreamEdits newBof;
        newBof.insertedBefore.insert(bof, {NewRecord{rt::kBof, B::u32(0)}});
        QVERIFY(refused(newBof, stream, "never add"));
        B encrypted;
        encrypted.globals = B::record(rt::kFilePass, B::u16(0) + B::u32(0x1234));
        encrypted.sheets << sheet;
        StreamEdits anything;
        anything.insertedBefore.insert(0, {NewRecord{rt::kBlank, B::u32(0)}});
        QVERIFY(refused(anything, encrypted.build(), "encrypted"));
        StreamEdits badString;
        badString.stringsChanged = true;
        badString.strings << (B::u16(5) + B::u8(0) + "abc");
        QVERIFY(refused(badString, stream, "header does not account"));
    }

    // The figures for a workbook stream of about 30 MB: one sheet of 65,536 rows.
    // A block of more rows than Excel puts in one (a writer without DBCELL limits), edited
    // near its end: every field of its DBCELL still points where xlrd's reader expects.
    void aLongRowBlockKeepsItsDbCellRight()
    {
        const int rows = 100;
        const QByteArray rowBody = B::u16(0) + B::u16(0) + B::u16(2) + QByteArray(10, '\0');
        QByteArray records;
        QVector<qsizetype> firstCell(rows, -1); // relative to the sheet's records
        for (int r = 0; r < rows; ++r) {
            QByteArray body = rowBody;
            body[0] = char(r);
            records += B::record(rt::kRow, body);
        }
        for (int r = 0; r < rows; ++r) {
            if (r % 10 == 9)
                continue; // a row without cells
            firstCell[r] = records.size();
            records += B::record(rt::kNumber, numberBody(r, 0, r));
            records += B::record(rt::kNumber, numberBody(r, 1, r));
        }
        // The fields as Excel computes them: where each row's cells start, a row without
        // cells pointing at the next row's.
        const qsizetype dbCell = records.size();
        QByteArray fields = B::u32(quint32(dbCell));
        qsizetype next = dbCell;
        QVector<qsizetype> starts(rows);
        for (int r = rows - 1; r >= 0; --r)
            next = starts[r] = firstCell[r] >= 0 ? firstCell[r] : next;
        qsizetype previous = 20; // the end of the first ROW record
        for (int r = 0; r < rows; ++r) {
            fields += B::u16(int(starts[r] - previous));
            previous = starts[r];
        }
        records += B::record(rt::kDbCell, fields);

        B book;
        B::Sheet sheet;
        sheet.name = "Long";
        sheet.records = records;
        book.sheets << sheet;
        const QByteArray stream = book.build();
        const qsizetype base = stream.size() - records.size() - 4;
        StreamEdits edits;
        // Shorter cells early and late in the block, a longer one added before row 80's.
        for (int r : {3, 70})
            edits.replaced.insert(
                base + firstCell[r],
                {NewRecord{rt::kBoolErr, B::u16(r) + B::u16(0) + B::u16(0) + B::u8(1) + B::u8(0)}});
        edits.insertedBefore.insert(base + firstCell[80],
                                    {NewRecord{rt::kNumber, numberBody(80, 5, 0.5)}});
        QByteArray out;
        QString why;
        QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why), qPrintable(why));

        QTemporaryDir dir;
        const QString original = dir.filePath("original.xls");
        const QString edited = dir.filePath("edited.xls");
        QVERIFY(writeXls(original, stream));
        QVERIFY(writeXls(edited, out));
        const QJsonObject positions = runPython("xlspositions.py", {original, edited});
        if (positions.isEmpty())
            QSKIP("python3-olefile is not installed");
        QCOMPARE(positions.value(original).toObject().value("problems").toArray(), QJsonArray());
        QCOMPARE(positions.value(edited).toObject().value("problems").toArray(), QJsonArray());
        QCOMPARE(positions.value(edited).toObject().value("counts").toObject().value("dbcells"),
                 QJsonValue(1));
    }

    void rebuildsALargeStream()
    {
        QByteArray stream;
        StreamEdits edits;
        {
            // Laid out from templates: generating it record by record is slow under the
            // sanitizers.
            const QByteArray rowRecord =
                B::record(rt::kRow, B::u16(0) + B::u16(0) + B::u16(26) + QByteArray(10, '\0'));
            const QByteArray numberRecord = B::record(rt::kNumber, numberBody(0, 0, 1));
            const QByteArray dbCell = B::record(rt::kDbCell, B::u32(0) + QByteArray(64, '\0'));
            const int blocks = 2048, columns = 26;
            QByteArray records(blocks * (32 * rowRecord.size() +
                                         32 * columns * numberRecord.size() + dbCell.size()),
                               '\0');
            QVector<QPair<qsizetype, int>> replace; // offset in the sheet's records, row
            qsizetype at = 0;
            auto put = [&](const QByteArray &record, int row, int column) {
                std::memcpy(records.data() + at, record.constData(), size_t(record.size()));
                records[int(at + 4)] = char(row & 0xFF);
                records[int(at + 5)] = char(row >> 8);
                if (column >= 0)
                    records[int(at + 6)] = char(column);
                at += record.size();
            };
            for (int block = 0; block < blocks; ++block) {
                for (int r = 0; r < 32; ++r)
                    put(rowRecord, block * 32 + r, -1);
                for (int r = 0; r < 32; ++r)
                    for (int c = 0; c < columns; ++c) {
                        if (c == 0 && r % 8 == 0)
                            replace.append({at, block * 32 + r});
                        put(numberRecord, block * 32 + r, c);
                    }
                std::memcpy(records.data() + at, dbCell.constData(), size_t(dbCell.size()));
                at += dbCell.size();
            }
            B book;
            book.globals = B::record(rt::kSst, B::u32(0) + B::u32(0));
            B::Sheet sheet;
            sheet.name = "Big";
            sheet.records = records;
            book.sheets << sheet;
            stream = book.build();
            const qsizetype sheetStart = stream.size() - records.size() - 4;
            for (const auto &at : replace)
                edits.replaced.insert(sheetStart + at.first,
                                      {NewRecord{rt::kLabelSst, B::u16(at.second) + B::u16(0) +
                                                                    B::u16(0) + B::u32(1)}});
        }
        for (int i = 0; i < 5000; ++i)
            edits.strings << richString(QStringLiteral("string number %1").arg(i), false, 0, 0);
        edits.stringsChanged = true;
        edits.stringUses = quint32(edits.replaced.size());

        // The peak resident memory of the rebuild alone: the kernel's high-water mark is reset
        // once the input is built.
        QFile clear("/proc/self/clear_refs");
        const bool measured = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        const qint64 before = residentKb("VmRSS");
        QByteArray out;
        QString why;
        QElapsedTimer t;
        t.start();
        // Told how far the original was copied, front to back, to its end.
        QVector<qsizetype> copied;
        QVERIFY2(StreamRebuilder::rebuild(stream, edits, &out, &why,
                                          [&copied](qsizetype upTo) { copied << upTo; }),
                 qPrintable(why));
        const qint64 ms = t.elapsed();
        QVERIFY(copied.size() >= stream.size() / (1 << 20) - 1);
        QVERIFY(std::is_sorted(copied.begin(), copied.end()));
        QVERIFY(copied.last() <= stream.size() && copied.last() > stream.size() - (1 << 21));
        const qint64 peak = residentKb("VmHWM");
        qInfo("rebuilt a %.1f MB workbook stream, %d cells replaced and a new string table, in "
              "%lld ms; resident memory %.1f MB before, peak %.1f MB",
              stream.size() / 1048576.0, int(edits.replaced.size()), ms, before / 1024.0,
              peak / 1024.0);
        // About one copy of the stream besides the stream itself.
        if (measured && before > 0 && peak > 0)
            QVERIFY(peak - before < stream.size() / 1024 * 3 / 2);
        // Each replaced cell is 4 bytes shorter; the rest is the new string table.
        QVERIFY(out.size() > stream.size() - 4 * edits.replaced.size());
        QByteArray again;
        QVERIFY(StreamRebuilder::rebuild(out, StreamEdits(), &again, &why));
        QCOMPARE(again, out);
    }
};

QTEST_GUILESS_MAIN(StreamRebuilderTest)
#include "streamrebuildertest.moc"

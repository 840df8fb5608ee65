#include "workbook/biff/documentsummary.h"

#include "tests/workbook/support/compoundfilebuilder.h"
#include "xlsrecordfiles.h"

#include <QTextCodec>
#include <QtTest>

using workbook::biff::DocumentSummary;
using Result = workbook::biff::SheetRenameText::Result;

namespace
{

const QByteArray kSummaryId = QByteArray::fromHex("02d5cdd59c2e1b10939708002b2cf9ae");
const QByteArray kUserId = QByteArray::fromHex("05d5cdd59c2e1b10939708002b2cf9ae");

quint32 u32(const QByteArray &b, qsizetype at)
{
    return at >= 0 && at + 4 <= b.size() ? qFromLittleEndian<quint32>(b.constData() + at) : 0;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// The test's own reading of a property set stream: each property's bytes up to the next
// property (or the end of its set).
struct Property {
    quint32 id = 0;
    QByteArray slot;
};
struct PropertySet {
    QByteArray formatId;
    QVector<Property> properties;
};

QVector<PropertySet> parse(const QByteArray &stream)
{
    QVector<PropertySet> sets;
    for (quint32 i = 0; i < u32(stream, 24); ++i) {
        PropertySet set;
        set.formatId = stream.mid(28 + i * 20, 16);
        const qsizetype at = u32(stream, 44 + i * 20);
        const QByteArray bytes = stream.mid(at, u32(stream, at));
        QVector<QPair<quint32, quint32>> entries;
        for (quint32 p = 0; p < u32(bytes, 4); ++p)
            entries.append({u32(bytes, 12 + p * 8), u32(bytes, 8 + p * 8)});
        std::sort(entries.begin(), entries.end());
        for (int p = 0; p < entries.size(); ++p) {
            const quint32 end = p + 1 < entries.size() ? entries[p + 1].first : bytes.size();
            set.properties.append(
                {entries[p].second, bytes.mid(entries[p].first, end - entries[p].first)});
        }
        sets.append(set);
    }
    return sets;
}

// The code page of the summary set, as the test finds it.
QTextCodec *codecOf(const QVector<PropertySet> &sets)
{
    for (const Property &p : sets.value(0).properties) {
        if (p.id != 1)
            continue;
        const QByteArray n = QByteArray::number(qFromLittleEndian<quint16>(p.slot.constData() + 4));
        if (QTextCodec *codec = QTextCodec::codecForName("windows-" + n))
            return codec;
        return QTextCodec::codecForName("CP" + n);
    }
    return nullptr;
}

// Whether each set's property table lies before its properties, and they inside the set.
bool wellFormed(const QByteArray &stream)
{
    for (quint32 i = 0; i < u32(stream, 24); ++i) {
        const qsizetype at = u32(stream, 44 + i * 20);
        const quint32 size = u32(stream, at), count = u32(stream, at + 4);
        for (quint32 p = 0; p < count; ++p) {
            const quint32 offset = u32(stream, at + 12 + p * 8);
            if (offset < 8 + count * 8 || offset >= size)
                return false;
        }
    }
    return true;
}

// The titles of a vector of 8-bit (codec) or Unicode strings, each right after the last or
// padded to four bytes.
QStringList titles(const QByteArray &slot, QTextCodec *codec, bool padded = false)
{
    const bool lengthInChars = (u32(slot, 0) & 0xFFFF) == 0x101F;
    QStringList out;
    qsizetype at = 8;
    for (quint32 i = 0; i < u32(slot, 4); ++i) {
        const qsizetype bytes = lengthInChars ? u32(slot, at) * 2 : u32(slot, at);
        const QByteArray chars = slot.mid(at + 4, bytes);
        if (codec) {
            out << codec->toUnicode(chars.chopped(1));
        } else {
            QString s;
            for (int c = 0; c + 3 < chars.size(); c += 2)
                s += QChar(qFromLittleEndian<quint16>(chars.constData() + c));
            out << s;
        }
        at += 4 + bytes + (padded ? (4 - bytes % 4) % 4 : 0);
    }
    return out;
}

QByteArray titlesSlot(const QVector<PropertySet> &sets)
{
    for (const Property &p : sets.value(0).properties)
        if (p.id == 0x0D)
            return p.slot;
    return {};
}

// A property set stream of a summary set and a user-defined set, properties in order.
QByteArray propertySets(const QVector<QPair<quint32, QByteArray>> &summary)
{
    auto set = [](const QVector<QPair<quint32, QByteArray>> &properties) {
        QByteArray table, values;
        const quint32 first = 8 + properties.size() * 8;
        for (const auto &p : properties) {
            table += le32(p.first) + le32(first + values.size());
            values += p.second;
        }
        return le32(8 + table.size() + values.size()) + le32(properties.size()) + table + values;
    };
    const QByteArray user = set({{1, QByteArray::fromHex("02000000b0040000")},
                                 {0x42, QByteArray::fromHex("0300000007000000")}});
    const QByteArray first = set(summary);
    QByteArray stream = QByteArray::fromHex("feff000006010200") + QByteArray(16, '\0') + le32(2);
    stream += kSummaryId + le32(68) + kUserId + le32(68 + first.size());
    return stream + first + user;
}

QByteArray codePage(quint16 cp)
{
    return QByteArray::fromHex("02000000") + QByteArray(1, char(cp & 0xFF)) +
           QByteArray(1, char(cp >> 8)) + QByteArray(2, '\0');
}

QByteArray utf16z(const QString &s)
{
    QByteArray b;
    for (const QChar ch : s + QChar(0))
        b += char(ch.unicode() & 0xFF), b += char(ch.unicode() >> 8);
    return b;
}

} // namespace

class DocumentSummaryTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // What olefile reads from the summary set of compound files holding each stream, one
    // line per stream.
    QStringList oleProperties(const QVector<QByteArray> &streams)
    {
        QStringList paths;
        for (const QByteArray &stream : streams) {
            CompoundFileBuilder builder;
            builder.addStream(DocumentSummary::kStreamName, stream);
            QFile f(m_dir.filePath(QStringLiteral("%1.cfb").arg(paths.size())));
            if (!f.open(QIODevice::WriteOnly) || f.write(builder.build()) < 0)
                return {};
            paths << f.fileName();
        }
        QProcess p;
        p.start("/usr/bin/python3",
                QStringList{"-c", "import olefile,sys\n"
                                  "for p in sys.argv[1:]:\n"
                                  "  o=olefile.OleFileIO(p)\n"
                                  "  print(sorted(o.getproperties("
                                  "'\\x05DocumentSummaryInformation').items()))"} +
                    paths);
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return {QStringLiteral("failed: ") + QString::fromUtf8(p.readAllStandardError())};
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    // Every summary stream of the corpus that lists sheet titles: the first title renamed, every
    // other title and property as it was, and olefile reads the same properties.
    void corpusTitleRenamed()
    {
        int renamed = 0;
        QVector<QByteArray> originals, results;
        for (const QString &path : xlsrecordfiles::corpusFiles()) {
            const QByteArray stream = xlsrecordfiles::stream(path, DocumentSummary::kStreamName);
            const QVector<PropertySet> before = parse(stream);
            const QByteArray slot = titlesSlot(before);
            if (slot.isEmpty() || (u32(slot, 0) & 0xFFFF) != 0x101E)
                continue;
            QTextCodec *codec = codecOf(before);
            QVERIFY2(codec, qPrintable(path));
            const QStringList oldTitles = titles(slot, codec);
            if (oldTitles.isEmpty())
                continue;
            const QString from = oldTitles.first();
            QByteArray out;
            QString why;
            if (!wellFormed(stream)) {
                // One writer counts a property its table does not hold.
                QCOMPARE(DocumentSummary::renameTitle(stream, from, "X", &out, &why),
                         Result::Unreadable);
                QVERIFY(!why.isEmpty());
                continue;
            }
            const Result r =
                DocumentSummary::renameTitle(stream, from.toUpper(), "Q1 'x' 2", &out, &why);
            QVERIFY2(r == Result::Changed, qPrintable(path + ": " + why));
            const QVector<PropertySet> after = parse(out);
            QStringList expected = oldTitles;
            expected[0] = "Q1 'x' 2";
            // Named ranges of that sheet ("Sheet1!Print_Area") name it as a formula does.
            const QString quotedFrom = "'" + QString(from).replace("'", "''") + "'!";
            for (QString &title : expected) {
                for (const QString &prefix : {from + "!", quotedFrom})
                    if (title.startsWith(prefix, Qt::CaseInsensitive))
                        title = "'Q1 ''x'' 2'!" + title.mid(prefix.size());
            }
            QCOMPARE(titles(titlesSlot(after), codec), expected);
            QCOMPARE(after.size(), before.size());
            for (int s = 0; s < before.size(); ++s) {
                QCOMPARE(after[s].formatId, before[s].formatId);
                QCOMPARE(after[s].properties.size(), before[s].properties.size());
                for (int p = 0; p < before[s].properties.size(); ++p) {
                    QCOMPARE(after[s].properties[p].id, before[s].properties[p].id);
                    if (s != 0 || before[s].properties[p].id != 0x0D)
                        QCOMPARE(after[s].properties[p].slot, before[s].properties[p].slot);
                }
            }
            QCOMPARE(out.left(28), stream.left(28));
            // Undone, the stream is the original again.
            QByteArray back;
            QCOMPARE(DocumentSummary::renameTitle(out, "Q1 'x' 2", from, &back, &why),
                     Result::Changed);
            QVERIFY2(back == stream, qPrintable(path));
            originals << stream;
            results << out;
            ++renamed;
        }
        QVERIFY(renamed >= 3);
        const QStringList before = oleProperties(originals);
        QCOMPARE(before.size(), renamed);
        QCOMPARE(oleProperties(results), before);
    }

    // A named range's title names its sheet as a formula does.
    void namedRangeTitleFollowsRename()
    {
        const QByteArray stream = xlsrecordfiles::stream(
            qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR") + "/poi/external_image.xls",
            DocumentSummary::kStreamName);
        if (stream.isEmpty())
            QSKIP("the corpus file with a named range title is missing");
        QTextCodec *codec = QTextCodec::codecForName("windows-1252");
        QCOMPARE(titles(titlesSlot(parse(stream)), codec),
                 QStringList({"STEP #1", "STEP #2", "MORE TIPS", "'STEP #1'!STATE"}));
        QByteArray out;
        QString why;
        QCOMPARE(DocumentSummary::renameTitle(stream, "step #1", "Step1", &out, &why),
                 Result::Changed);
        QCOMPARE(titles(titlesSlot(parse(out)), codec),
                 QStringList({"Step1", "STEP #2", "MORE TIPS", "Step1!STATE"}));
        QCOMPARE(DocumentSummary::renameTitle(stream, "STEP #3", "Step1", &out, &why),
                 Result::Unchanged);
    }

    void nameOutsideCodePageRefused()
    {
        const QByteArray stream =
            propertySets({{1, codePage(1252)},
                          {0x0D, QByteArray::fromHex("1e10000002000000") + le32(7) + "Sheet1" +
                                     '\0' + le32(2) + "B" + '\0'}});
        QByteArray out = "untouched";
        QString why;
        QCOMPARE(DocumentSummary::renameTitle(stream, "Sheet1", "数据", &out, &why),
                 Result::Unstorable);
        QVERIFY2(why.contains("1252"), qPrintable(why));
        QCOMPARE(out, QByteArray("untouched"));
        QCOMPARE(DocumentSummary::renameTitle(stream, "Sheet1", "Café", &out, &why),
                 Result::Changed);
        QCOMPARE(titles(titlesSlot(parse(out)), QTextCodec::codecForName("windows-1252")),
                 QStringList({"Café", "B"}));
        QVERIFY(out.contains(QByteArray("Caf\xE9\0", 5)));
        // Cyrillic in its own code page.
        const QByteArray cyrillic =
            propertySets({{1, codePage(1251)},
                          {0x0D, QByteArray::fromHex("1e10000001000000") + le32(2) + "A" + '\0'}});
        QCOMPARE(DocumentSummary::renameTitle(cyrillic, "A", "Лист", &out, &why), Result::Changed);
        QCOMPARE(titles(titlesSlot(parse(out)), QTextCodec::codecForName("windows-1251")),
                 QStringList({"Лист"}));
    }

    // Code page 1200 holds 8-bit-typed strings as UTF-16; Unicode string vectors count
    // characters; both as the format pads them (four-byte steps) are read and kept so.
    void unicodeTitles_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<bool>("padded");
        const QByteArray a = utf16z("A"), ab = utf16z("AB"), sheet = utf16z("Sheet1");
        QTest::newRow("code page 1200, packed")
            << propertySets({{1, codePage(1200)},
                             {0x0D, QByteArray::fromHex("1e10000002000000") + le32(a.size()) + a +
                                        le32(sheet.size()) + sheet}})
            << false;
        QTest::newRow("unicode strings, padded")
            << propertySets({{1, codePage(1252)},
                             {0x0D, QByteArray::fromHex("1f10000002000000") + le32(3) + ab +
                                        QByteArray(2, 0) + le32(7) + sheet + QByteArray(2, 0)},
                             {0x0C, QByteArray::fromHex("0b000000ffff0000")}})
            << true;
    }
    void unicodeTitles()
    {
        QFETCH(QByteArray, stream);
        QFETCH(bool, padded);
        QByteArray out;
        QString why;
        QCOMPARE(DocumentSummary::renameTitle(stream, "sheet1", "数据 'x'", &out, &why),
                 Result::Changed);
        const QVector<PropertySet> after = parse(out);
        const QVector<PropertySet> before = parse(stream);
        const QString first = padded ? "AB" : "A";
        QCOMPARE(titles(titlesSlot(before), nullptr, padded), QStringList({first, "Sheet1"}));
        QCOMPARE(titles(titlesSlot(after), nullptr, padded), QStringList({first, "数据 'x'"}));
        QCOMPARE(after.last().properties.last().slot, before.last().properties.last().slot);
        for (int p = 0; p < before[0].properties.size(); ++p)
            if (before[0].properties[p].id != 0x0D)
                QCOMPARE(after[0].properties[p].slot, before[0].properties[p].slot);
    }

    void nothingToRenameUnchanged()
    {
        QByteArray out = "untouched";
        QString why;
        const QByteArray noTitles = propertySets({{1, codePage(1252)}});
        QCOMPARE(DocumentSummary::renameTitle(noTitles, "Sheet1", "X", &out, &why),
                 Result::Unchanged);
        const QByteArray stream = propertySets(
            {{1, codePage(1252)},
             {0x0D, QByteArray::fromHex("1e10000001000000") + le32(7) + "Sheet1" + '\0'}});
        QCOMPARE(DocumentSummary::renameTitle(stream, "Sheet2", "X", &out, &why),
                 Result::Unchanged);
        QByteArray otherSet = stream;
        otherSet[28] = 'x';
        QCOMPARE(DocumentSummary::renameTitle(otherSet, "Sheet1", "X", &out, &why),
                 Result::Unchanged);
        QCOMPARE(out, QByteArray("untouched"));
    }

    // Cut or damaged streams give a defined outcome and never read outside the bytes.
    void damagedStreams()
    {
        const QByteArray stream =
            propertySets({{1, codePage(1252)},
                          {0x0D, QByteArray::fromHex("1e10000002000000") + le32(7) + "Sheet1" +
                                     '\0' + le32(2) + "B" + '\0'},
                          {0x0C, QByteArray::fromHex("0b000000ffff0000")}});
        const qsizetype userSet = u32(stream, 64);
        for (int size = 0; size < stream.size(); ++size) {
            QByteArray out;
            QString why;
            const Result r =
                DocumentSummary::renameTitle(stream.left(size), "Sheet1", "X", &out, &why);
            QCOMPARE(r, size < userSet ? Result::Unreadable : Result::Changed);
            QVERIFY(r == Result::Changed || !why.isEmpty());
        }
        QRandomGenerator random(11);
        for (int i = 0; i < 5000; ++i) {
            QByteArray damaged = stream;
            for (int n = 0; n < 3; ++n)
                damaged[random.bounded(damaged.size())] = char(random.bounded(256));
            QByteArray out;
            QString why;
            DocumentSummary::renameTitle(damaged, "Sheet1", "X", &out, &why);
        }
    }
};

QTEST_GUILESS_MAIN(DocumentSummaryTest)
#include "documentsummarytest.moc"

#include "tests/workbook/support/compoundfilebuilder.h"
#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/limits.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>
#include <sys/stat.h>

using workbook::Application;
namespace limits = workbook::limits;

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The package parts of a one-sheet workbook, with one part replaced.
QVector<QPair<QString, QByteArray>> partsWith(const QString &name, const QByteArray &content)
{
    TestWorkbook t;
    t.addSheet("S", TestWorkbook::worksheet("<row r=\"1\"/>"));
    t.sharedStrings = QStringList{"x"};
    const QByteArray zip = t.build();
    QVector<QPair<QString, QByteArray>> parts;
    for (const char *n :
         {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
          "xl/worksheets/sheet1.xml", "xl/styles.xml", "xl/sharedStrings.xml"}) {
        const QString part = QString::fromLatin1(n);
        parts.append({part, part == name ? content : ZipContents::entryFromBytes(zip, part)});
    }
    return parts;
}

QByteArray nested(int depth)
{
    QByteArray open, close;
    // The root and <extLst> are the first two levels.
    for (int i = 2; i < depth; ++i) {
        open += "<x>";
        close += "</x>";
    }
    return "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets><extLst>" +
           open + close + "</extLst></workbook>";
}

} // namespace

// Input the server must refuse (or, for sheets, leave alone) with a clear reason, never
// crashing and never touching the file.
class UnopenableInputTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Opens bytes from a file; returns the refusal reason, or "opened".
    QString refusal(const QByteArray &bytes)
    {
        const QString path = m_dir.path() + "/input.xlsx";
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        Application app;
        QString reason;
        const bool opened = app.Open(path, &reason) != nullptr;
        if (readAll(path) != bytes)
            return QStringLiteral("the file was changed");
        return opened ? QStringLiteral("opened") : reason;
    }

private slots:
    void refusedFilesSayWhy_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("csv renamed") << QByteArray("a,b\n1,2\n") << "first bytes '61 2c 62";
        QTest::newRow("html renamed")
            << QByteArray("<html><body>x</body></html>") << "expected an OOXML package";
        // Compound files are judged by their directory, not by bytes found somewhere in them.
        CompoundFileBuilder biff5;
        biff5.addStream("Workbook", QByteArray("\x09\x08\x08\x00\x00\x05\x05\x00", 8));
        QTest::newRow("BIFF5 compound file") << biff5.build() << "BIFF5";
        CompoundFileBuilder encrypted;
        encrypted.addStream("EncryptionInfo", QByteArray(100, 'i'));
        encrypted.addStream("EncryptedPackage", QByteArray(5000, 'e'));
        QTest::newRow("encrypted package") << encrypted.build() << "password-protected";
        QByteArray signatureOnly =
            QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');
        for (const char c : QByteArray("EncryptedPackage")) {
            signatureOnly += c;
            signatureOnly += '\0';
        }
        QTest::newRow("compound-file signature over zeros")
            << signatureOnly << "damaged: compound file: expected byte order mark fffe";
        const QByteArray good = ZipContents::makeZip(partsWith({}, {}));
        QTest::newRow("truncated central directory") << good.left(good.size() - 30) << "damaged";
        QTest::newRow("empty file") << QByteArray() << "expected an OOXML package";
        QTest::newRow("no workbook part")
            << ZipContents::makeZip({{"[Content_Types].xml", partsWith({}, {})[0].second},
                                     {"_rels/.rels", "<Relationships xmlns=\"x\"/>"}})
            << "no officeDocument relationship";
        QTest::newRow("workbook part not well-formed")
            << ZipContents::makeZip(partsWith("xl/workbook.xml", "<workbook><sheets></workbook>"))
            << "expected </sheets>, found </workbook>";
        QTest::newRow("document type declaration")
            << ZipContents::makeZip(partsWith(
                   "xl/sharedStrings.xml",
                   "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY a \"aaaa\">]><sst>&a;</sst>"))
            << "document type declaration";
        QTest::newRow("nesting deeper than the limit")
            << ZipContents::makeZip(partsWith("xl/workbook.xml", nested(limits::kMaxXmlDepth + 1)))
            << "nested at most 256";
        QTest::newRow("xlsb main part")
            << ZipContents::makeZip(
                   {{"[Content_Types].xml",
                     "<Types><Override PartName=\"/xl/workbook.bin\" ContentType=\"application/"
                     "vnd.ms-excel.sheet.binary.macroEnabled.main\"/></Types>"},
                    {"_rels/.rels",
                     "<Relationships><Relationship Id=\"r\" Type=\"http://schemas.openxmlformats."
                     "org/officeDocument/2006/relationships/officeDocument\" "
                     "Target=\"xl/workbook.bin\"/></Relationships>"},
                    {"xl/workbook.bin", "\x83\x01"}})
            << "binary one (.xlsb)";
        const QByteArray bomb(int(limits::kBombRatioFloor) + 1024, ' ');
        QTest::newRow("zip bomb ratio")
            << ZipContents::makeZip(partsWith("xl/sharedStrings.xml", "<sst>" + bomb + "</sst>"))
            << "times the compressed size";
    }
    void refusedFilesSayWhy()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString got = refusal(bytes);
        QVERIFY2(got.contains(reason), qPrintable(got));
    }

    void refusalsCarryAKind()
    {
        // A compound-file signature over nothing: the name of an encrypted package in its bytes
        // does not make it one, the directory decides.
        const QByteArray compound =
            QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');
        QByteArray namedOnly = compound;
        for (const char c : QByteArray("EncryptedPackage")) {
            namedOnly += c;
            namedOnly += '\0';
        }
        CompoundFileBuilder encrypted;
        encrypted.addStream("EncryptionInfo", QByteArray(100, 'i'));
        encrypted.addStream("EncryptedPackage", QByteArray(5000, 'e'));
        CompoundFileBuilder biff5;
        biff5.addStream("Workbook", QByteArray("\x09\x08\x08\x00\x00\x05\x05\x00", 8));
        CompoundFileBuilder document;
        document.addStream("WordDocument", QByteArray(100, 'w'));
        const QByteArray good = ZipContents::makeZip(partsWith({}, {}));
        const std::pair<QByteArray, workbook::Error::Kind> cases[] = {
            {"a,b\n1,2\n", workbook::Error::Kind::NotAWorkbook},
            {compound, workbook::Error::Kind::Damaged},
            {namedOnly, workbook::Error::Kind::Damaged},
            {encrypted.build(), workbook::Error::Kind::PasswordProtected},
            {biff5.build(), workbook::Error::Kind::UnsupportedFormat},
            {document.build(), workbook::Error::Kind::NotAWorkbook},
            {good.left(good.size() - 30), workbook::Error::Kind::Damaged},
        };
        for (const auto &[bytes, kind] : cases) {
            Application app;
            workbook::Error error;
            QVERIFY(!app.OpenFromMemory(bytes, &error));
            QCOMPARE(error.kind, kind);
            QVERIFY(error.toString().startsWith(workbook::Error::kindName(kind) + ": "));
        }
    }

    void namedPipeIsRefusedWithoutWaiting()
    {
        const QString path = m_dir.path() + "/pipe.xlsx";
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        Application app;
        QString reason;
        QVERIFY(!app.Open(path, &reason));
        QVERIFY2(reason.contains("regular file"), qPrintable(reason));
        QVERIFY(!app.Open(m_dir.path(), &reason));
    }

    void nestingAtTheLimitIsAccepted()
    {
        QCOMPARE(refusal(ZipContents::makeZip(
                     partsWith("xl/workbook.xml", nested(limits::kMaxXmlDepth)))),
                 QString("opened"));
    }

    void partDeclaredLargerThanTheLimitIsRefusedBeforeInflating()
    {
        QByteArray zip = ZipContents::makeZip(partsWith({}, {}));
        // Rewrite the uncompressed size of the string table in the central directory.
        const QByteArray name = "xl/sharedStrings.xml";
        const int header = zip.indexOf("PK\x01\x02" + QByteArray(), 0);
        int at = header;
        while (at >= 0 && zip.mid(at + 46, name.size()) != name)
            at = zip.indexOf("PK\x01\x02", at + 4);
        QVERIFY(at >= 0);
        const quint32 size = quint32(limits::kMaxPartSize + 1);
        for (int k = 0; k < 4; ++k)
            zip[at + 24 + k] = char((size >> (8 * k)) & 0xff);
        const QString got = refusal(zip);
        QVERIFY2(got.contains("at most 1073741824 bytes inflated"), qPrintable(got));
    }

    void tooManySharedStringsAreRefused()
    {
        QByteArray sst = "<sst>";
        sst.reserve(int(limits::kMaxSharedStrings) * 5 + 16);
        for (qint64 i = 0; i <= limits::kMaxSharedStrings; ++i)
            sst += "<si/>";
        sst += "</sst>";
        const QString got =
            refusal(ZipContents::makeZip(partsWith("xl/sharedStrings.xml", sst), true));
        QVERIFY2(got.contains("at most 10000000 items"), qPrintable(got));
    }

    void sheetWithTooManyCellsIsLeftAlone()
    {
        QByteArray data = "<row r=\"1\"><c t=\"inlineStr\"><is><t>x</t></is></c>";
        data.reserve(int(limits::kMaxCellsPerPart) * 4 + 64);
        for (qint64 i = 0; i < limits::kMaxCellsPerPart; ++i)
            data += "<c/>";
        data += "</row>";
        const QString path = m_dir.path() + "/cells.xlsx";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray zip = ZipContents::makeZip(
            partsWith("xl/worksheets/sheet1.xml", TestWorkbook::worksheet(data)), true);
        f.write(zip);
        f.close();
        Application app;
        workbook::Workbook *wb = app.Open(path);
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("x", "y"));
        QCOMPARE(range->lastError().kind, workbook::Error::Kind::BeyondLimit);
        QVERIFY2(range->lastError().detail.contains("at most 10000000 cells"),
                 qPrintable(range->lastError().detail));
        QVERIFY(wb->Save());
        QCOMPARE(readAll(path), zip);
    }

    void tooManyArrayFormulasAcrossARowLeaveTheSheetAlone()
    {
        // Each array area spans both rows, so every cell of row 2 is checked against all.
        QByteArray row1 = "<row r=\"1\">";
        for (int c = 1; c <= limits::kMaxArrayFormulasPerRow + 1; ++c) {
            QByteArray column;
            for (int n = c; n > 0; n = (n - 1) / 26)
                column.prepend(char('A' + (n - 1) % 26));
            row1 += "<c r=\"" + column + "1\"><f t=\"array\" ref=\"" + column + "1:" + column +
                    "2\">1</f><v>1</v></c>";
        }
        row1 += "</row><row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>x</t></is></c></row>";
        Application app;
        workbook::Workbook *wb = app.OpenFromMemory(ZipContents::makeZip(
            partsWith("xl/worksheets/sheet1.xml", TestWorkbook::worksheet(row1))));
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("x", "y"));
        QVERIFY2(range->lastError().detail.contains("array formulas"),
                 qPrintable(range->lastError().detail));
        QVERIFY(!wb->isModified());
    }

    void damagedSheetIsLeftAlone()
    {
        const QByteArray zip = ZipContents::makeZip(partsWith(
            "xl/worksheets/sheet1.xml",
            TestWorkbook::worksheet("<row r=\"1\"><c t=\"inlineStr\"><is><t>x</is></c></row>")));
        Application app;
        workbook::Workbook *wb = app.OpenFromMemory(zip);
        QVERIFY(wb);
        QVERIFY(!wb->Item(1)->usedRange()->Find("x"));
        QCOMPARE(wb->Item(1)->usedRange()->lastError().kind, workbook::Error::Kind::Damaged);
        QVERIFY(!wb->Item(1)->usedRange()->Replace("x", "y"));
        QVERIFY(!wb->Item(1)->pageSetup()->SetCenterHeader("h"));
        // A header that cannot be read is not an empty one.
        workbook::Error error;
        QVERIFY(wb->Item(1)
                    ->pageSetup()
                    ->section(workbook::HeaderFooterSection::CenterHeader, &error)
                    .isEmpty());
        QCOMPARE(error.kind, workbook::Error::Kind::Damaged);
        QVERIFY(!wb->isModified());
    }
};

QTEST_GUILESS_MAIN(UnopenableInputTest)
#include "unopenableinputtest.moc"

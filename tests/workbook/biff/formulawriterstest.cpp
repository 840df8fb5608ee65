#include "workbook/biff/biffcellsource.h"
#include "workbook/biff/biffdocument.h"
#include "workbook/biff/formulaprecheck.h"
#include "workbook/documentfactory.h"
#include "workbook/text/findpattern.h"

#include <QtTest>

using workbook::biff::BiffDocument;

namespace
{

QString sourceDir()
{
    return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbook/biff";
}

// The formulas of formulas.txt for one writer, in order.
QStringList formulasFor(const QString &writer)
{
    QFile f(sourceDir() + "/formulas.txt");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QString &line : QString::fromUtf8(f.readAll()).split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int tab = line.indexOf('\t');
        if (line.left(tab).split(',').contains(writer))
            out << line.mid(tab + 1);
    }
    return out;
}

// Where the formula bar differs from the text a writer was given, each because of the tokens
// that writer stored (checked byte by byte), not the decompiler. LibreOffice:
// - stores whole rows (1:2) as an area error, since its rows are wider than BIFF8's 256
//   columns;
// - stores a 3-D reference to one cell as an area of one cell (tArea3d), which shows so;
// - stores the error constant #DIV/0! as #N/A in the tokens (its cached value keeps #DIV/0!);
// - calls a function newer than BIFF8 through a name, which shows as stored (_xlfn.).
QString normalized(const QString &writer, const QString &formula)
{
    static const QMap<QString, QString> libreOffice = {
        {"SUM(1:2)", "SUM(#REF!)"},
        {"SUM(Sheet2:Sheet3!A1)", "SUM(Sheet2:Sheet3!A1:A1)"},
        {"#DIV/0!", "#N/A"},
        {"IFERROR(A1,0)", "_xlfn.IFERROR(A1,0)"},
    };
    return writer == "lo" ? libreOffice.value(formula, formula) : formula;
}

} // namespace

// The decompiler against independent writers: xlwt compiles formula text to tokens itself, and
// LibreOffice converts an .xlsx of the same formulas to .xls. The text read back equals the
// text they were given, up to the spellings in normalized().
class FormulaWritersTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QStringList readFormulas(const QString &path)
    {
        workbook::Error why;
        auto doc = workbook::DocumentFactory::openFile(path, &why);
        if (!doc) {
            qWarning("%s: %s", qPrintable(path), qPrintable(why.toString()));
            return {};
        }
        auto *d = static_cast<BiffDocument *>(doc.get());
        QVector<BiffDocument::CellText> cells;
        if (!d->cellTexts(0, &cells, &why)) {
            qWarning("%s: %s", qPrintable(path), qPrintable(why.toString()));
            return {};
        }
        QStringList out;
        for (const auto &c : cells) {
            if (c.column == 0)
                out << c.text;
        }
        return out;
    }

    void compare(const QString &writer, const QString &file)
    {
        const QStringList expected = formulasFor(writer);
        QVERIFY(expected.size() > 20);
        const QStringList read = readFormulas(m_dir.filePath(file));
        QCOMPARE(read.size(), expected.size());
        QStringList differences;
        for (int i = 0; i < read.size(); ++i) {
            const QString want = QLatin1Char('=') + normalized(writer, expected[i]);
            if (read[i] != want)
                differences
                    << QStringLiteral("row %1: read %2, given %3").arg(i + 1).arg(read[i], want);
        }
        for (const QString &d : differences)
            qInfo("%s", qPrintable(d));
        QVERIFY(differences.isEmpty());
    }

    // Find decompiles a formula only when its tokens say the text may match: no formula whose
    // text holds a piece of any formula's text may be passed over.
    void precheckKeepsEveryFormulaThatMatches(const QString &file)
    {
        workbook::Error why;
        auto doc = workbook::DocumentFactory::openFile(m_dir.filePath(file), &why);
        QVERIFY2(doc, qPrintable(why.toString()));
        auto *d = static_cast<BiffDocument *>(doc.get());
        QVector<BiffDocument::CellText> cells;
        QVERIFY(d->cellTexts(0, &cells, &why));
        QSet<QString> pieces;
        for (const auto &c : cells) {
            for (int from = 1; from < c.text.size(); ++from) {
                for (int length = 3; length <= 8 && from + length <= c.text.size(); ++length)
                    pieces.insert(c.text.mid(from, length));
            }
        }
        QVERIFY(pieces.size() > 500);
        const auto &workbook = d->workbook();
        int passedOver = 0;
        for (const QString &piece : pieces) {
            workbook::biff::FormulaPrecheck precheck(piece, workbook);
            workbook::biff::BiffCellSource source(workbook, 0);
            source.setPrecheck(&precheck);
            QSet<quint32> kept;
            workbook::edit::SourceCell cell;
            while (source.next(&cell))
                kept.insert(quint32(cell.row - 1) << 8 | quint32(cell.column - 1));
            QVERIFY(!source.failed());
            const workbook::FindPattern pattern(piece);
            for (const auto &c : cells) {
                const quint32 key = quint32(c.row) << 8 | quint32(c.column);
                if (!kept.contains(key)) {
                    ++passedOver;
                    QVERIFY2(!pattern.matches(c.text),
                             qPrintable(QStringLiteral("'%1' passed over %2").arg(piece, c.text)));
                }
            }
        }
        QVERIFY(passedOver > 0);
    }

private slots:
    void initTestCase()
    {
        QProcess make;
        make.setProcessChannelMode(QProcess::ForwardedChannels);
        make.start("/usr/bin/python3", {sourceDir() + "/makeformulaworkbooks.py", m_dir.path(),
                                        sourceDir() + "/formulas.txt"});
        QVERIFY(make.waitForFinished(60000));
        if (make.exitCode() != 0)
            QSKIP("python3-xlwt or python3-openpyxl is not installed");
        QProcess soffice;
        soffice.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        soffice.start("soffice",
                      {"--headless", "-env:UserInstallation=file://" + m_dir.path() + "/profile",
                       "--convert-to", "xls", "--outdir", m_dir.path(),
                       m_dir.filePath("source.xlsx")});
        if (!soffice.waitForStarted(10000))
            QSKIP("LibreOffice is not installed");
        QVERIFY(soffice.waitForFinished(180000));
        soffice.readAllStandardOutput();
    }

    void formulasWrittenByXlwtReadBack() { compare("xlwt", "xlwt.xls"); }
    void formulasConvertedByLibreOfficeReadBack() { compare("lo", "source.xls"); }
    void precheckOnXlwtFormulas() { precheckKeepsEveryFormulaThatMatches("xlwt.xls"); }
    void precheckOnLibreOfficeFormulas() { precheckKeepsEveryFormulaThatMatches("source.xls"); }
};

QTEST_GUILESS_MAIN(FormulaWritersTest)
#include "formulawriterstest.moc"

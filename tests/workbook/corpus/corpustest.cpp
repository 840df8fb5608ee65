#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/text/formulalimits.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>

using namespace workbook::text;

using workbook::Application;
using workbook::Workbook;

namespace
{

// Found by the build (TESSAROMANDEL_CORPUS_DIR); the shared folder beside the source tree
// otherwise.
QString corpusFolder()
{
    const QString configured = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/../shared/corpus");
}

const char kNewName[] = "Renamed X";
const char kHeader[] = "Tessaromandel Corpus";
const char kReplacement[] = "Zq";
const qint64 kMaxReadBackSize = 48 * 1024;

// Corpus files the server must refuse, and why (the contract's "unopenable").
const QMap<QString, QString> &expectedRefusals()
{
    static const QMap<QString, QString> refusals = {
        // Not zip containers at all, or damaged ones (fuzzer output).
        {"poi/clusterfuzz-testcase-minimized-XLSX2CSVFuzzer-5636439151607808.xlsx", "damaged"},
        {"poi/clusterfuzz-testcase-minimized-POIXSSFFuzzer-4828727001088000.xlsx", "damaged"},
        {"poi/clusterfuzz-testcase-minimized-POIXSSFFuzzer-6123461607817216.xlsx", "damaged"},
        {"poi/clusterfuzz-testcase-minimized-POIXSSFFuzzer-5185049589579776.xlsx", "damaged"},
        {"poi/clusterfuzz-testcase-minimized-XLSX2CSVFuzzer-5025401116950528.xlsx", "damaged"},
        // Document type declarations: entity expansion is refused.
        {"poi/54764.xlsx", "document type declaration"},
        {"poi/54764-2.xlsx", "document type declaration"},
        {"poi/poc-xmlbomb.xlsx", "document type declaration"},
        // Password-protected: an EncryptedPackage inside a compound file.
        {"poi/protected_passtika.xlsx", "password-protected"},
        {"calamine/pass_protected.xlsx", "password-protected"},
        // A sheet whose relationship id is empty: the package is damaged.
        {"poi/60825.xlsx", "expected a part for sheet 'Module'"},
    };
    return refusals;
}

// Parts a replace, a rename and a header may change; every other part must stay as it was.
bool mayChange(const QString &name)
{
    static const QStringList prefixes = {"xl/worksheets/",   "xl/chartsheets/", "xl/macrosheets/",
                                         "xl/dialogsheets/", "xl/charts/",      "xl/pivotCache/",
                                         "xl/tables/",       "xl/ctrlProps/"};
    static const QStringList parts = {"xl/sharedStrings.xml",       "xl/workbook.xml",
                                      "xl/_rels/workbook.xml.rels", "[Content_Types].xml",
                                      "docProps/app.xml",           "xl/calcChain.xml"};
    for (const QString &p : prefixes) {
        if (name.startsWith(p, Qt::CaseInsensitive))
            return true;
    }
    return parts.contains(name, Qt::CaseInsensitive);
}

// A word the workbook holds, to replace: the first run of four ASCII letters in its string
// table or its first sheet.
QString pickToken(const QString &path)
{
    QByteArray text = ZipContents::entry(path, "xl/sharedStrings.xml");
    if (text.isEmpty())
        text = ZipContents::entry(path, "xl/worksheets/sheet1.xml");
    static const QRegularExpression t("<(?:\\w+:)?t(?: [^>]*)?>([^<]*)</(?:\\w+:)?t>");
    static const QRegularExpression word("[A-Za-z]{4,}");
    auto it = t.globalMatch(QString::fromUtf8(text));
    while (it.hasNext()) {
        const QString s = it.next().captured(1);
        const QRegularExpressionMatch m = word.match(s);
        if (m.hasMatch() && m.captured().compare("true", Qt::CaseInsensitive) != 0 &&
            m.captured().compare("false", Qt::CaseInsensitive) != 0)
            return m.captured();
    }
    return QStringLiteral("Absent");
}

} // namespace

// The corpus of real workbooks: each opens or is refused for a reason the contract names;
// after a replace, a rename and a header, independent readers see what was asked for and
// every part with nothing to change is copied as it was.
class CorpusTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_relative; // corpus-relative names
    QJsonArray m_jobs;      // for the independent reader
    QStringList m_saved;

private slots:
    void initTestCase()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        QDirIterator it(corpus, {"*.xlsx", "*.xlsm"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            m_relative.append(QDir(corpus).relativeFilePath(it.next()));
        m_relative.sort();
        QVERIFY(m_relative.size() > 100);
        QDir().mkpath(m_dir.path() + "/original");
        QDir().mkpath(m_dir.path() + "/saved");
        for (const QString &r : m_relative) {
            const QString flat = QString(r).replace('/', "__");
            QVERIFY(QFile::copy(corpus + "/" + r, m_dir.path() + "/original/" + flat));
            QVERIFY(QFile::copy(corpus + "/" + r, m_dir.path() + "/saved/" + flat));
            QFile(m_dir.path() + "/saved/" + flat)
                .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }

    void everyFileOpensOrIsRefusedForAReasonTheContractNames()
    {
        QStringList failures;
        for (const QString &r : m_relative) {
            const QString flat = QString(r).replace('/', "__");
            const QString original = m_dir.path() + "/original/" + flat;
            const QString path = m_dir.path() + "/saved/" + flat;
            Application app;
            QString reason;
            Workbook *wb = app.Open(path, &reason);
            if (!wb) {
                const QString expected = expectedRefusals().value(r);
                if (expected.isEmpty() || !reason.contains(expected))
                    failures << r + ": refused: " + reason;
                continue;
            }
            if (expectedRefusals().contains(r))
                failures << r + ": opened, but the contract calls it unopenable";
            if (wb->Count() == 0)
                continue;
            const QString token = pickToken(original);
            const QString oldName = wb->Item(1)->Name();
            for (int i = 1; i <= wb->Count(); ++i) {
                workbook::Sheet *sheet = wb->Item(i);
                if (workbook::UsedRange *range = sheet->usedRange()) {
                    range->Find(token);
                    range->Replace(token, kReplacement);
                }
                if (!sheet->pageSetup()->setSection(workbook::HeaderFooterSection::CenterHeader,
                                                    kHeader, &reason))
                    failures << r + ": header refused: " + reason;
            }
            if (!wb->Item(1)->SetName(kNewName, &reason))
                failures << r + ": rename refused: " + reason;
            if (!wb->Save(&reason)) {
                failures << r + ": save failed: " + reason;
                continue;
            }
            const QStringList before = ZipContents::names(original);
            const QStringList after = ZipContents::names(path);
            for (const QString &name : before) {
                if (!after.contains(name)) {
                    if (name != "xl/calcChain.xml")
                        failures << r + ": lost part " + name;
                    continue;
                }
                const bool rawSame =
                    ZipContents::rawEntry(original, name) == ZipContents::rawEntry(path, name);
                if (!mayChange(name) && !rawSame)
                    failures << r + ": changed part " + name;
                // A part whose content stayed must also keep its compressed bytes.
                if (!rawSame &&
                    ZipContents::entry(original, name) == ZipContents::entry(path, name))
                    failures << r + ": part rewritten without a change: " + name;
            }
            m_saved << path;
            // openpyxl takes seconds over the few large files; the small ones cover the kinds.
            if (QFileInfo(original).size() > kMaxReadBackSize)
                continue;
            QJsonObject job;
            job["original"] = original;
            job["saved"] = path;
            job["token"] = token;
            job["replacement"] = kReplacement;
            job["oldName"] = oldName;
            job["newName"] = kNewName;
            job["header"] = kHeader;
            m_jobs.append(job);
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 30).join('\n')));
    }

    // The formulas producers wrote must all pass the checks a replaced formula has to pass;
    // one that did not would leave a cell unchanged for no reason.
    void everyStoredFormulaPassesTheFormulaChecks()
    {
        static const QRegularExpression element(
            QStringLiteral("<(?:\\w+:)?f(?:\\s[^>]*)?(?<!/)>(.*?)</(?:\\w+:)?f>"),
            QRegularExpression::DotMatchesEverythingOption);
        QStringList refused;
        int checked = 0;
        for (const QString &r : m_relative) {
            const QString path = m_dir.path() + "/original/" + QString(r).replace('/', "__");
            for (const QString &part : ZipContents::names(path)) {
                if (!part.contains(QRegularExpression("^xl/(worksheets|macrosheets)/[^/]+\\.xml$")))
                    continue;
                const QString xml = QString::fromUtf8(ZipContents::entry(path, part));
                for (auto it = element.globalMatch(xml); it.hasNext();) {
                    QString formula = it.next().captured(1);
                    formula.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
                    formula.replace("&apos;", "'").replace("&amp;", "&");
                    if (formula.isEmpty())
                        continue;
                    ++checked;
                    if (!FormulaLimits::isAcceptable(formula))
                        refused << r + ": " + formula.left(200);
                }
            }
        }
        qInfo("%d stored formulas checked", checked);
        QVERIFY(checked > 1000);
        QVERIFY2(refused.isEmpty(), qPrintable(refused.mid(0, 30).join('\n')));
    }

    void openpyxlReadsBackWhatWasAskedFor()
    {
        if (!QFileInfo::exists("/usr/bin/python3"))
            QSKIP("/usr/bin/python3 is not installed");
        QVERIFY(!m_jobs.isEmpty());
        const QString manifest = m_dir.path() + "/jobs.json";
        QFile f(manifest);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(m_jobs).toJson());
        f.close();
        QProcess p;
        p.start("/usr/bin/python3", {QString(qgetenv("TESSAROMANDEL_SOURCE_DIR")) +
                                         "/tests/workbook/corpus/readback.py",
                                     manifest});
        QVERIFY(p.waitForFinished(300000));
        const QByteArray err = p.readAllStandardError();
        if (err.contains("No module named 'openpyxl'"))
            QSKIP("python3-openpyxl is not installed");
        const QJsonObject result = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QVERIFY2(!result.isEmpty(), err.constData());
        const QJsonArray problems = result["problems"].toArray();
        QStringList lines;
        for (const QJsonValue &v : problems)
            lines << v.toString();
        qInfo("openpyxl checked %d saved workbooks (%d originals it cannot read)",
              result["checked"].toInt(), int(result["unreadable"].toArray().size()));
        QVERIFY(result["checked"].toInt() > 300);
        QVERIFY2(lines.isEmpty(), qPrintable(lines.mid(0, 30).join('\n')));
    }

    void libreOfficeOpensTheSavedFiles()
    {
        const QString soffice = QStandardPaths::findExecutable("soffice");
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        // A sample keeps the one batched call short.
        QStringList sample;
        for (int i = 0; i < m_saved.size(); i += 16)
            sample << m_saved[i];
        QTemporaryDir profile, out;
        QProcess p;
        p.start(soffice, QStringList{"-env:UserInstallation=file://" + profile.path(), "--headless",
                                     "--convert-to", "csv", "--outdir", out.path()} +
                             sample);
        QVERIFY(p.waitForFinished(300000));
        QStringList missing;
        for (const QString &s : sample) {
            if (!QFileInfo::exists(out.path() + "/" + QFileInfo(s).completeBaseName() + ".csv"))
                missing << s;
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(missing.join('\n') + "\n" + p.readAllStandardError()));
    }
};

QTEST_GUILESS_MAIN(CorpusTest)
#include "corpustest.moc"

#include "workbook/biff/biffdocument.h"
#include "workbook/documentfactory.h"

#include <QtTest>

using workbook::Error;
using workbook::biff::BiffDocument;
using CellKind = workbook::biff::BiffDocument::CellKind;

namespace
{

QString corpusFolder()
{
    const QString configured = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/../shared/corpus");
}

// Corpus .xls files the server refuses, each with the kind of its reason (the contract's
// "unopenable" kinds) and why.
const QMap<QString, Error::Kind> &expectedRefusals()
{
    static const QMap<QString, Error::Kind> refusals = {
        // Encrypted workbook streams (FILEPASS), which xlrd refuses too.
        {"poi/35897-type4.xls", Error::Kind::PasswordProtected},
        {"poi/51832.xls", Error::Kind::PasswordProtected},

        {"poi/password.xls", Error::Kind::PasswordProtected},
        {"poi/xor-encryption-abc.xls", Error::Kind::PasswordProtected},
        // Excel 5/95 files (the second one also encrypted).
        {"calamine/misc_biff5_parsing.xls", Error::Kind::UnsupportedFormat},
        {"poi/60284.xls", Error::Kind::UnsupportedFormat},
    };
    return refusals;
}

} // namespace

// Every .xls of the corpus opens, or is refused for a reason the contract names; the cells of
// those that open agree with an independent reader (xlrd): every text cell's text and every
// number's value.
class XlsCorpusTest : public QObject
{
    Q_OBJECT

private:
    QStringList m_files; // corpus-relative
    QJsonObject m_xlrd;  // file -> what xlrd read

private slots:
    void initTestCase()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        QDirIterator it(corpus, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            m_files.append(QDir(corpus).relativeFilePath(it.next()));
        m_files.sort();
        QVERIFY(m_files.size() > 100);
        QTemporaryDir dir;
        const QString out = dir.filePath("xlrd.json");
        QProcess p;
        p.setWorkingDirectory(corpus);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start("/usr/bin/python3", QStringList{qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") +
                                                    "/tests/workbook/biff/xlrdcells.py",
                                                out} +
                                        m_files);
        QVERIFY(p.waitForFinished(300000));
        if (p.exitCode() != 0)
            QSKIP("python3-xlrd is not installed");
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_xlrd = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(m_xlrd.size(), m_files.size());
    }

    void everyFileOpensOrIsRefusedForAContractReason()
    {
        static const QVector<Error::Kind> kinds = {
            Error::Kind::Damaged, Error::Kind::PasswordProtected, Error::Kind::UnsupportedFormat,
            Error::Kind::NotAWorkbook, Error::Kind::BeyondLimit};
        int opened = 0;
        for (const QString &file : m_files) {
            Error error;
            const auto d = workbook::DocumentFactory::openFile(corpusFolder() + "/" + file, &error);
            const QString why = error.toString();
            const bool xlrdReads = m_xlrd.value(file).toObject().contains("sheets");
            if (d) {
                ++opened;
                continue;
            }
            qInfo("refused %s: %s", qPrintable(file), qPrintable(why));
            QVERIFY2(kinds.contains(error.kind), qPrintable(file + ": " + why));
            // A workbook that xlrd reads is refused only for a listed reason.
            if (xlrdReads || expectedRefusals().contains(file)) {
                QVERIFY2(expectedRefusals().contains(file), qPrintable(file + ": " + why));
                QVERIFY2(error.kind == expectedRefusals().value(file),
                         qPrintable(file + ": " + why));
            }
        }
        qInfo("%d of %d .xls files opened", opened, int(m_files.size()));
    }

    void cellsAgreeWithXlrd()
    {
        int compared = 0, cellsCompared = 0;
        QStringList unreadable, differences;
        auto differ = [&](const QString &what) {
            differences << what;
            return false;
        };
        for (const QString &file : m_files) {
            const QJsonObject x = m_xlrd.value(file).toObject();
            if (!x.contains("sheets"))
                continue;
            Error why;
            auto doc = workbook::DocumentFactory::openFile(corpusFolder() + "/" + file, &why);
            if (!doc)
                continue; // the test above holds it to its reason
            auto *d = static_cast<BiffDocument *>(doc.get());
            QHash<QString, int> byName;
            for (int i = 0; i < d->sheetCount(); ++i)
                byName.insert(d->sheetName(i), i);
            for (const QJsonValue &sv : x.value("sheets").toArray()) {
                const QJsonObject s = sv.toObject();
                const QString name = s.value("name").toString();
                QVERIFY2(byName.contains(name), qPrintable(file + ": no sheet " + name));
                QVector<BiffDocument::CellText> ours;
                if (!d->cellTexts(byName.value(name), &ours, &why)) {
                    unreadable << file + " / " + name + ": " + why.toString();
                    continue;
                }
                QHash<quint32, BiffDocument::CellText> at;
                for (const auto &c : ours)
                    at.insert(quint32(c.row) << 8 | quint32(c.column), c);
                QSet<quint32> seen;
                for (const QJsonValue &cv : s.value("cells").toArray()) {
                    const QJsonArray c = cv.toArray();
                    const int row = c.at(0).toInt(), column = c.at(1).toInt();
                    const QString kind = c.at(2).toString();
                    const quint32 key = quint32(row) << 8 | quint32(column);
                    seen.insert(key);
                    const QString where = QStringLiteral("%1 / %2 R%3C%4")
                                              .arg(file, name)
                                              .arg(row + 1)
                                              .arg(column + 1);
                    if (!at.contains(key)) {
                        differ(where + ": missing, xlrd has " + c.at(3).toVariant().toString());
                        continue;
                    }
                    const BiffDocument::CellText &o = at.value(key);
                    ++cellsCompared;
                    if (o.kind == CellKind::Formula)
                        continue; // xlrd shows the cached result
                    const bool isText =
                        o.kind == CellKind::SharedString || o.kind == CellKind::InlineString;
                    if (kind == "text" && (!isText || o.text != c.at(3).toString()))
                        differ(where + ": '" + o.text + "', xlrd '" + c.at(3).toString() + "'");
                    else if (kind == "number" &&
                             (o.kind != CellKind::Number || o.number != c.at(3).toDouble()))
                        differ(where + ": " + o.text + ", xlrd " +
                               QString::number(c.at(3).toDouble(), 'g', 17));
                    else if (kind == "boolean" && o.kind != CellKind::Boolean)
                        differ(where + ": " + o.text + ", xlrd a boolean");
                    else if (kind == "error" && o.kind != CellKind::Error)
                        differ(where + ": " + o.text + ", xlrd an error");
                }
                // And nothing of ours that xlrd does not see, formulas and empty texts aside.
                for (const auto &c : ours) {
                    const quint32 key = quint32(c.row) << 8 | quint32(c.column);
                    if (c.kind != CellKind::Formula && !c.text.isEmpty() && !seen.contains(key))
                        differ(QStringLiteral("%1 / %2 R%3C%4: '%5', xlrd sees no cell")
                                   .arg(file, name)
                                   .arg(c.row + 1)
                                   .arg(c.column + 1)
                                   .arg(c.text));
                }
            }
            ++compared;
        }
        for (const QString &u : unreadable)
            qInfo("sheet not read: %s", qPrintable(u));
        qInfo("%d workbooks, %d cells compared with xlrd", compared, cellsCompared);
        for (const QString &d : differences.mid(0, 80))
            qInfo("differs: %s", qPrintable(d));
        QCOMPARE(differences.size(), 0);
        QVERIFY(compared > 100);
    }
};

QTEST_GUILESS_MAIN(XlsCorpusTest)
#include "xlscorpustest.moc"

#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/biff/boundsheetrecord.h"
#include "workbook/biff/headerfooterrecords.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/biff/sheetrenametext.h"
#include "xlsrecordfiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace workbook::biff;
using Result = SheetRenameText::Result;

namespace
{

QString sourceDir()
{
    return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbook/biff";
}

QString sheetName(const QByteArray &boundSheet)
{
    workbook::cfb::ByteCursor c(boundSheet);
    c.skip(6);
    const int count = c.u8();
    const bool wide = c.u8() & 0x01;
    return wide ? c.utf16(count) : c.latin1(count);
}

// Changes to a workbook stream by record offset; the stream is written again with the sheets'
// stream positions moved along.
struct StreamChanges {
    QMap<qsizetype, QByteArray> bodies;
    QSet<qsizetype> removed;
    QMap<qsizetype, QVector<QPair<quint16, QByteArray>>> insertedBefore;

    QByteArray apply(const QByteArray &stream) const
    {
        const auto records = xlsrecordfiles::records(stream);
        QMap<qsizetype, qsizetype> moved;
        QByteArray out;
        auto append = [&](quint16 type, const QByteArray &body) {
            char header[4];
            qToLittleEndian(type, header);
            qToLittleEndian(quint16(body.size()), header + 2);
            out.append(header, 4).append(body);
        };
        for (const auto &r : records) {
            for (const auto &inserted : insertedBefore.value(r.offset))
                append(inserted.first, inserted.second);
            moved[r.offset] = out.size();
            if (!removed.contains(r.offset))
                append(r.type, bodies.value(r.offset, r.body));
        }
        for (const auto &r : xlsrecordfiles::records(out))
            if (r.type == rt::kBoundSheet)
                qToLittleEndian(
                    quint32(moved.value(qFromLittleEndian<quint32>(r.body.constData()))),
                    out.data() + r.offset + 4);
        return out;
    }
};

} // namespace

// Records rewritten for renamed sheets and new headers and footers, put back into .xls files
// LibreOffice made, and read by xlrd and by LibreOffice itself.
class RenamedRecordsReadBackTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    bool convert(const QString &format, const QStringList &files, const QString &outDir)
    {
        QProcess soffice;
        soffice.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        soffice.start("soffice",
                      QStringList{"--headless",
                                  "-env:UserInstallation=file://" + m_dir.path() + "/profile",
                                  "--convert-to", format, "--outdir", outDir} +
                          files);
        if (!soffice.waitForStarted(10000))
            return false;
        soffice.waitForFinished(180000);
        soffice.readAllStandardOutput();
        return soffice.exitCode() == 0;
    }

    QJsonObject independentReading(const QStringList &files)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start("/usr/bin/python3", QStringList{sourceDir() + "/readrenameworkbooks.py"} + files);
        p.waitForFinished(60000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

    void writeXls(const QString &name, const QByteArray &stream)
    {
        CompoundFileBuilder builder;
        builder.addStream("Workbook", stream);
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(builder.build()) > 0);
    }

private slots:
    void initTestCase()
    {
        QProcess make;
        make.setProcessChannelMode(QProcess::ForwardedChannels);
        make.start("/usr/bin/python3", {sourceDir() + "/makerenameworkbooks.py", m_dir.path()});
        QVERIFY(make.waitForFinished(60000));
        if (make.exitCode() != 0)
            QSKIP("python3-openpyxl is not installed");
        if (!convert("xls", {m_dir.filePath("links.xlsx"), m_dir.filePath("pivot.xlsx")},
                     m_dir.path()))
            QSKIP("LibreOffice is not installed");
        QVERIFY(QFile::exists(m_dir.filePath("links.xls")));
        QVERIFY(QFile::exists(m_dir.filePath("pivot.xls")));

        // links.xls: three sheets renamed, a header rewritten, and the Chinese sheet's HEADER
        // and FOOTER taken out and written again where a sheet without them gets them.
        const QMap<QString, QString> renames = {
            {"My sheet", "Q1 'x' 2"}, {"It's", "Plain"}, {"数据", "新 数据"}};
        const QByteArray stream = xlsrecordfiles::stream(m_dir.filePath("links.xls"), "Workbook");
        const auto records = xlsrecordfiles::records(stream);
        StreamChanges changes;
        qsizetype chineseSheet = -1;
        for (const auto &r : records) {
            QString why;
            if (r.type == rt::kBoundSheet) {
                const QString name = sheetName(r.body);
                if (name == "数据")
                    chineseSheet = qFromLittleEndian<quint32>(r.body.constData());
                if (renames.contains(name))
                    QVERIFY(BoundSheetRecord::renamed(r.body, renames[name],
                                                      &changes.bodies[r.offset], &why));
            } else if (r.type == rt::kHLink) {
                QByteArray body = r.body;
                for (auto it = renames.begin(); it != renames.end(); ++it) {
                    QByteArray out;
                    const Result result =
                        SheetRenameText::hyperlink(body, it.key(), it.value(), &out, &why);
                    QVERIFY(result != Result::Unreadable);
                    if (result == Result::Changed)
                        body = out;
                }
                if (body != r.body)
                    changes.bodies[r.offset] = body;
            }
        }
        QVERIFY(chineseSheet > 0);
        QVector<QPair<quint16, qsizetype>> sheet;
        for (const auto &r : records) {
            if (r.offset < chineseSheet)
                continue;
            if (r.type == rt::kHeader || r.type == rt::kFooter) {
                changes.removed.insert(r.offset);
                continue;
            }
            sheet.append({r.type, r.offset});
            if (r.type == rt::kEof)
                break;
        }
        QByteArray header, footer;
        QString why;
        QVERIFY(HeaderFooterRecords::body("&L新 header &&&R&P", &header, &why));
        QVERIFY(HeaderFooterRecords::body("&Cfooter", &footer, &why));
        const qsizetype headerAt = HeaderFooterRecords::insertionPoint(sheet, false);
        const qsizetype footerAt = HeaderFooterRecords::insertionPoint(sheet, true);
        QVERIFY(headerAt > chineseSheet);
        QCOMPARE(footerAt, headerAt);
        changes.insertedBefore[headerAt] = {{rt::kHeader, header}, {rt::kFooter, footer}};
        for (const auto &r : records) {
            if (r.offset > chineseSheet || r.type != rt::kHeader)
                continue;
            // The first sheet's header, rewritten in place.
            QByteArray body;
            QVERIFY(HeaderFooterRecords::body("&Lleft&Ccentre", &body, &why));
            changes.bodies[r.offset] = body;
            break;
        }
        writeXls("links-renamed.xls", changes.apply(stream));

        // pivot.xls: the pivot table's source sheet renamed.
        const QByteArray pivotStream =
            xlsrecordfiles::stream(m_dir.filePath("pivot.xls"), "Workbook");
        StreamChanges pivotChanges;
        int sources = 0;
        for (const auto &r : xlsrecordfiles::records(pivotStream)) {
            if (r.type == rt::kBoundSheet && sheetName(r.body) == "My data")
                QVERIFY(BoundSheetRecord::renamed(r.body, "Source 'x' 2",
                                                  &pivotChanges.bodies[r.offset], &why));
            if (r.type == rt::kDConRef) {
                QCOMPARE(
                    SheetRenameText::dataConsolidationReference(
                        r.body, "my data", "Source 'x' 2", &pivotChanges.bodies[r.offset], &why),
                    Result::Changed);
                ++sources;
            }
        }
        QCOMPARE(sources, 1);
        writeXls("pivot-renamed.xls", pivotChanges.apply(pivotStream));
        QDir().mkpath(m_dir.filePath("back"));
        QVERIFY(convert("xlsx",
                        {m_dir.filePath("links-renamed.xls"), m_dir.filePath("pivot-renamed.xls")},
                        m_dir.filePath("back")));
    }

    void xlrdReadsRenamedSheetsAndLinks()
    {
        const QJsonObject all = independentReading({m_dir.filePath("links-renamed.xls")});
        const QJsonObject book = all.value(m_dir.filePath("links-renamed.xls")).toObject();
        QCOMPARE(book.value("sheets").toVariant().toStringList(),
                 QStringList({"Sheet1", "Q1 'x' 2", "Plain", "新 数据"}));
        const QJsonObject links = book.value("links").toObject();
        QCOMPARE(links.value("Sheet1").toVariant().toStringList(),
                 QStringList({"'Q1 ''x'' 2'!A1:B2", "Plain!B2", "'新 数据'!A1"}));
        QCOMPARE(links.value("Q1 'x' 2").toVariant().toStringList(), QStringList({"Sheet1!A1"}));
    }

    void libreOfficeReadsHeadersAndNames()
    {
        const QString path = m_dir.filePath("back/links-renamed.xlsx");
        const QJsonObject book = independentReading({path}).value(path).toObject();
        QCOMPARE(book.value("sheets").toVariant().toStringList(),
                 QStringList({"Sheet1", "Q1 'x' 2", "Plain", "新 数据"}));
        const QJsonObject headers = book.value("headers").toObject();
        QCOMPARE(headers.value("Sheet1").toVariant().toStringList(),
                 QStringList({"&Lleft&Ccentre", "&RPage &P"}));
        QCOMPARE(headers.value("新 数据").toVariant().toStringList(),
                 QStringList({"&L新 header &&&R&P", "&Cfooter"}));
    }

    void libreOfficeReadsPivotSource()
    {
        const QString path = m_dir.filePath("back/pivot-renamed.xlsx");
        const QJsonObject book = independentReading({path}).value(path).toObject();
        QCOMPARE(book.value("sheets").toVariant().toStringList(),
                 QStringList({"Source 'x' 2", "Report"}));
        QCOMPARE(book.value("pivotSources").toVariant().toStringList(),
                 QStringList({"Source 'x' 2"}));
    }
};

QTEST_GUILESS_MAIN(RenamedRecordsReadBackTest)
#include "renamedrecordsreadbacktest.moc"

#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/error.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"
#include "workbook/xml/splicer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using workbook::Application;
using workbook::Error;
using workbook::Workbook;
using workbook::xml::Splicer;

// A step that fails part-way reports the failure: nothing is changed in memory as if it had
// worked, and a save leaves the file as it was. No input makes these splices fail, so a fault
// is injected into the one part a case is about.
class FailedStepTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString write(const TestWorkbook &t)
    {
        static int n = 0;
        const QString path = m_dir.path() + QStringLiteral("/book%1.xlsx").arg(++n);
        return t.write(path) ? path : QString();
    }

    // A formula, a shared string used once, and a calculation chain.
    static TestWorkbook book()
    {
        TestWorkbook t;
        t.addSheet("Data",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\"><f>SUM(B1)</f><v>0</v></c>"
                                           "<c r=\"B1\" t=\"s\"><v>0</v></c></row>"));
        t.sharedStrings = QStringList({"foo"});
        t.calcChain = true;
        t.workbookBody = "<calcPr calcId=\"191029\"/>";
        return t;
    }

private slots:
    void sharedStringTableThatCannotBeWrittenFailsTheSave()
    {
        const QString path = write(book());
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb);
        QVERIFY(wb->Item(1)->usedRange()->Replace("foo", "bar"));
        {
            Splicer::FaultForTesting fault("<sst");
            Error error;
            QVERIFY(!wb->Save(&error));
            QCOMPARE(error.kind, Error::Kind::BeyondLimit);
            QVERIFY2(error.detail.contains("shared strings"), qPrintable(error.detail));
        }
        QCOMPARE(readAll(path), before);
        // Nothing was lost: the change is still there to be saved.
        QVERIFY(wb->Save());
        Application again;
        QVERIFY(again.Open(path)->Item(1)->usedRange()->Find("bar"));
    }

    void workbookPartThatCannotBeRenamedRefusesTheName()
    {
        const QString path = write(book());
        Application app;
        Workbook *wb = app.Open(path);
        Splicer::FaultForTesting fault("<workbook ");
        Error error;
        QVERIFY(!wb->Item(1)->SetName("Renamed", &error));
        QCOMPARE(error.kind, Error::Kind::BeyondLimit);
        QCOMPARE(wb->Item(1)->Name(), QString("Data"));
        QVERIFY(!wb->isModified());
    }

    void recalculationRequestThatCannotBeMadeLeavesTheSheetAlone_data()
    {
        QTest::addColumn<QByteArray>("part");
        // The workbook part's flag, the content types' entry, the relationship to the chain.
        QTest::newRow("workbook part") << QByteArray("<workbook ");
        QTest::newRow("content types") << QByteArray("calcChain+xml");
        QTest::newRow("relationships") << QByteArray("relationships/calcChain");
    }

    void recalculationRequestThatCannotBeMadeLeavesTheSheetAlone()
    {
        QFETCH(QByteArray, part);
        const QString path = write(book());
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        {
            Splicer::FaultForTesting fault(part);
            Error error;
            QVERIFY(!wb->Item(1)->usedRange()->Replace("SUM", "MAX", &error));
            QCOMPARE(error.kind, Error::Kind::BeyondLimit);
            QVERIFY2(error.detail.contains("full recalculation"), qPrintable(error.detail));
        }
        // Neither the formula nor half of the request (a chain gone, its relationship kept).
        QVERIFY(!wb->isModified());
        QVERIFY(wb->Save());
        QCOMPARE(readAll(path), before);
        // Without the fault the same change goes through whole.
        QVERIFY(wb->Item(1)->usedRange()->Replace("SUM", "MAX"));
        QVERIFY(wb->Save());
        QVERIFY(ZipContents::entry(path, "xl/calcChain.xml").isEmpty());
        QVERIFY(!ZipContents::entry(path, "xl/_rels/workbook.xml.rels").contains("calcChain"));
    }
};

QTEST_GUILESS_MAIN(FailedStepTest)
#include "failedsteptest.moc"

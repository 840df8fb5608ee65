#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

// Two tessaromandel-cli processes over the same folder at once, as two windows, a colleague
// on a shared drive or a script would run them: every workbook afterwards holds exactly the
// changes its runs reported, and a change a run could not make safely it reports as such.
class CliTwoRunsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_small;
    QByteArray m_large;

    static QString helper()
    {
        return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbooks.py";
    }

    static QByteArray make(const QString &path, const QStringList &cells)
    {
        const QByteArray sheets =
            QJsonDocument(QJsonArray{QJsonArray{"S", QJsonArray::fromStringList(cells)}})
                .toJson(QJsonDocument::Compact);
        QProcess process;
        process.start("/usr/bin/python3", {helper(), "make", path, QString::fromUtf8(sheets)});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return QByteArray();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Per workbook, which of the four words its parts hold (one python for the whole folder).
    static QJsonObject words(const QString &folder)
    {
        static const char script[] = R"(
import json, os, sys, zipfile
out = {}
for name in sorted(os.listdir(sys.argv[1])):
    if not name.endswith('.xlsx'):
        continue
    try:
        with zipfile.ZipFile(os.path.join(sys.argv[1], name)) as z:
            text = b''.join(z.read(n) for n in z.namelist() if n.endswith('.xml'))
        out[name] = ''.join(w if w.encode() in text else '-' for w in ('Foo', 'Qux', 'Bar', 'Baz'))
    except Exception as e:
        out[name] = 'damaged: %s' % e
print(json.dumps(out))
)";
        QProcess process;
        process.start("/usr/bin/python3", {"-c", script, folder});
        if (!process.waitForFinished(60000))
            return QJsonObject();
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }

    static QSet<QString> refused(const QByteArray &output)
    {
        QSet<QString> names;
        const QString prefix = QStringLiteral("  原因 Reason: ");
        for (const QString &line : QString::fromLocal8Bit(output).split('\n')) {
            if (line.startsWith(prefix)) {
                const QString rest = line.mid(prefix.size());
                names
                    << QFileInfo(rest.left(rest.indexOf(QLatin1String(".xlsx: ")) + 5)).fileName();
            }
        }
        return names;
    }

    // One round: fresh copies, both runs started together, then every workbook checked.
    void round(const QByteArray &workbook, int *refusals)
    {
        const QString folder = m_dir.path() + "/books";
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 20; ++i) {
            QFile file(folder + QStringLiteral("/book%1.xlsx").arg(i, 2, 10, QLatin1Char('0')));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(workbook), qint64(workbook.size()));
        }
        QProcess first, second;
        first.start(TESSAROMANDEL_CLI,
                    {"replace", folder, "--find", "Foo", "--replace", "Qux", "--verbose"});
        second.start(TESSAROMANDEL_CLI,
                     {"replace", folder, "--find", "Bar", "--replace", "Baz", "--verbose"});
        // Generous: under the sanitizers a large round takes minutes.
        QVERIFY(first.waitForFinished(600000) && second.waitForFinished(600000));
        // A run whose report name the other run took first leaves that report unwritten
        // and says so (exit 4); it never writes over the other's.
        for (QProcess *run : {&first, &second}) {
            const int code = run->exitCode();
            QVERIFY2(code == 0 ||
                         (code == 4 && run->readAllStandardError().contains("Report not written")),
                     qPrintable(QString::number(code)));
        }
        const QByteArray firstOut = first.readAllStandardOutput();
        const QByteArray secondOut = second.readAllStandardOutput();
        const QSet<QString> firstRefused = refused(firstOut);
        const QSet<QString> secondRefused = refused(secondOut);
        for (const QByteArray *out : {&firstOut, &secondOut}) {
            for (const QString &line : QString::fromLocal8Bit(*out).split('\n')) {
                if (line.startsWith(QStringLiteral("  原因")))
                    QVERIFY2(line.contains("changed while being edited"), qPrintable(line));
            }
        }
        *refusals += firstRefused.size() + secondRefused.size();

        const QJsonObject found = words(folder);
        QCOMPARE(found.size(), 20);
        for (auto it = found.begin(); it != found.end(); ++it) {
            const QString expected = QString(firstRefused.contains(it.key()) ? "Foo-" : "-Qux") +
                                     (secondRefused.contains(it.key()) ? "Bar-" : "-Baz");
            QVERIFY2(it.value().toString() == expected,
                     qPrintable(it.key() + ": holds " + it.value().toString() + ", the runs " +
                                "reported " + expected));
        }
        // Nothing but the workbooks and the reports: no temporaries left.
        const QStringList rest =
            QDir(folder).entryList({".~*"}, QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY2(rest.isEmpty(), qPrintable(rest.join(' ')));
    }

private slots:
    void initTestCase()
    {
        m_small = make(m_dir.path() + "/small.xlsx", {"Foo one", "Bar two", "neither"});
        QVERIFY2(!m_small.isEmpty(), "openpyxl for /usr/bin/python3 is needed");
        // Large enough that each save takes a while, so the two runs overlap in every phase.
        QStringList cells;
        for (int i = 0; i < 3000; ++i)
            cells << QStringLiteral("Foo %1").arg(i) << QStringLiteral("Bar %1").arg(i);
        m_large = make(m_dir.path() + "/large.xlsx", cells);
        QVERIFY(!m_large.isEmpty());
    }

    void twoRunsOverOneFolderLoseNoReportedChange()
    {
        int refusals = 0;
        for (int i = 0; i < 20; ++i) {
            round(m_small, &refusals);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("small workbooks: %d refusals in 20 rounds", refusals);
    }

    void twoRunsOverLargeWorkbooksLoseNoReportedChange()
    {
        int refusals = 0;
        for (int i = 0; i < 2; ++i) {
            round(m_large, &refusals);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("large workbooks: %d refusals in 2 rounds", refusals);
    }
};

QTEST_GUILESS_MAIN(CliTwoRunsTest)

#include "tst_clitworuns.moc"

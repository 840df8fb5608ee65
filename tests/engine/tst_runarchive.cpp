#include "engine/runarchive.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

class TestRunArchive : public QObject
{
    Q_OBJECT

private:
    // One run that keeps the workbook at path and then replaces it as a save does (a new
    // file renamed over the old name).
    static QString runOnce(const QString &folder, const QString &path, const QByteArray &content,
                           const RunArchive::Limits &limits)
    {
        RunArchive archive(folder, QStringLiteral("replace"), limits);
        QString why;
        if (!archive.Keep(path, &why))
            return QStringLiteral("not kept: ") + why;
        QSaveFile save(path);
        if (!save.open(QIODevice::WriteOnly) || save.write(content) != content.size() ||
            !save.commit())
            return QStringLiteral("not saved");
        archive.Saved(path, true);
        archive.Finish();
        return archive.Id();
    }

private slots:
    void savesOnSeveralThreadsAreReadBackInTheirNumbersOrder()
    {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        QTemporaryDir books;
        RunArchive archive(books.path(), QStringLiteral("replace"), RunArchive::Limits());
        QVector<RunArchive::Pending> pending(3);
        QVector<QByteArray> lines(3);
        for (int i = 0; i < 3; ++i) {
            const QString path = books.path() + QStringLiteral("/b%1.xlsx").arg(i);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old");
            file.close();
            QString why;
            QVERIFY2(archive.Keep(path, i + 1, &pending[i], &why), qPrintable(why));
            QSaveFile save(path);
            QVERIFY(save.open(QIODevice::WriteOnly) && save.write("new") == 3 && save.commit());
            lines[i] = RunArchive::Saved(pending[i], true);
            QVERIFY(!lines[i].isEmpty());
        }
        // The last save ended first.
        for (const int i : {2, 0, 1})
            archive.Record(lines[i]);
        archive.Finish();
        RunArchive::Run run;
        QString why;
        QVERIFY2(RunArchive::Read(archive.Id(), &run, &why), qPrintable(why));
        QCOMPARE(run.entries.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(run.entries[i].path, pending[i].path);
            QVERIFY(run.entries[i].kept.endsWith(QStringLiteral("/%1-b%2.xlsx").arg(i + 1).arg(i)));
        }
    }

    void prunesOldestBeyondTheBytesKeptOriginalsHoldAlone()
    {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        QTemporaryDir books;
        const QString path = books.path() + QStringLiteral("/a.xlsx");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1000, 'a'));
        file.close();

        // Each kept original is the only name left of the old file: 1,000 bytes each.
        const RunArchive::Limits limits{20, 2500};
        QStringList ids;
        for (char c : {'b', 'c'})
            ids << runOnce(books.path(), path, QByteArray(1000, c), limits);
        QCOMPARE(RunArchive::RunIds(), ids);
        ids << runOnce(books.path(), path, QByteArray(1000, 'd'), limits);
        QCOMPARE(RunArchive::RunIds(), ids.mid(1));
        QVERIFY(RunArchive::WasPruned(ids.first()));

        // An original that still has another name costs nothing, so it keeps its run.
        RunArchive::Run second;
        QString why;
        QVERIFY2(RunArchive::Read(ids.at(1), &second, &why), qPrintable(why));
        QCOMPARE(::link(QFile::encodeName(second.entries.first().kept).constData(),
                        QFile::encodeName(books.path() + QStringLiteral("/old")).constData()),
                 0);
        ids << runOnce(books.path(), path, QByteArray(1000, 'e'), limits);
        QCOMPARE(RunArchive::RunIds(), ids.mid(1));

        // The newest run is kept whatever it holds; the one costing nothing stays too.
        ids << runOnce(books.path(), path, QByteArray(1000, 'f'), RunArchive::Limits{20, 10});
        QCOMPARE(RunArchive::RunIds(), (QStringList{ids.at(1), ids.last()}));
    }
};

QTEST_GUILESS_MAIN(TestRunArchive)
#include "tst_runarchive.moc"

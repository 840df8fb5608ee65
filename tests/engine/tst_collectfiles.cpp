#include "engine/collectfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class CollectFilesTest : public QObject
{
    Q_OBJECT

private:
    static void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    static QStringList relative(const QString &root, const QFileInfoList &entries)
    {
        QStringList names;
        for (const QFileInfo &entry : entries)
            names << QDir(root).relativeFilePath(entry.absoluteFilePath());
        return names;
    }

private slots:
    void ownFilesComeFirstThenEachSubfolderWholeByNameIgnoringCase()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        touch(root + "/b.xlsx");
        touch(root + "/A.xlsx");
        touch(root + "/C.txt");
        touch(root + "/Zeta/z1.xls");
        touch(root + "/alpha/deep/d.xls");
        touch(root + "/alpha/a2.xls");
        touch(root + "/alpha/A1.xls");

        QCOMPARE(relative(root, CollectFiles(root)),
                 QStringList({"A.xlsx", "b.xlsx", "C.txt", "alpha/A1.xls", "alpha/a2.xls",
                              "alpha/deep/d.xls", "Zeta/z1.xls"}));
    }

    void hiddenFoldersAreSkippedButHiddenFilesAreListed()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        touch(root + "/.hidden/inside.xlsx");
        touch(root + "/.shy.xlsx");
        touch(root + "/plain.xlsx");

        QCOMPARE(relative(root, CollectFiles(root)), QStringList({".shy.xlsx", "plain.xlsx"}));
    }

    void fileLinksAreSkippedAndFolderLinksFollowedOnce()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        touch(root + "/real.xlsx");
        touch(root + "/sub/inner.xlsx");
        QVERIFY(QFile::link(root + "/real.xlsx", root + "/linked.xlsx"));
        // A link back to the top would make the walk endless.
        QVERIFY(QFile::link(root, root + "/sub/loop"));
        QVERIFY(QFile::link(root + "/sub", root + "/again"));

        // "again" sorts before "sub", so the folder is walked under the link's name, once.
        const QStringList names = relative(root, CollectFiles(root));
        QCOMPARE(names, QStringList({"real.xlsx", "again/inner.xlsx"}));
    }

    void topFilesKeepTheFolderAsGivenAndDeeperOnesAreAbsolute()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/top/a.xlsx");
        touch(dir.path() + "/top/sub/b.xlsx");
        QVERIFY(QDir::setCurrent(dir.path()));

        const QFileInfoList entries = CollectFiles("top/");
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].filePath(), QString("top/a.xlsx"));
        QCOMPARE(entries[1].filePath(), dir.path() + "/top/sub/b.xlsx");
    }

    void missingOrEmptyFolderGivesNothing()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/a.xlsx");
        QVERIFY(QDir::setCurrent(dir.path()));
        QVERIFY(CollectFiles(dir.path() + "/missing").isEmpty());
        QVERIFY(CollectFiles(QString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(CollectFilesTest)
#include "tst_collectfiles.moc"

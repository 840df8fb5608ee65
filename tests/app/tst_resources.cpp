#include <QImageReader>
#include <QtTest>

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void theIconHoldsThreeSizes()
    {
        Q_INIT_RESOURCE(resources);
        QImageReader reader(":/images/vrn.ico");
        QCOMPARE(reader.format(), QByteArray("ico"));
        QSet<int> sizes;
        for (int i = 0; i < reader.imageCount(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read();
            QVERIFY(!image.isNull());
            QCOMPARE(image.width(), image.height());
            sizes << image.width();
        }
        QCOMPARE(sizes, QSet<int>({16, 32, 48}));
    }
};

QTEST_MAIN(ResourcesTest)
#include "tst_resources.moc"

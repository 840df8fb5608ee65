#include "platform/processes.h"

#include <QtTest>

// Starts the real program on a virtual X display through screenshot.sh and reads the picture.
class ScreenshotTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

private slots:
    void theWindowIsPaintedAtItsWorkingSizeCentred_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("pictureName");
        QTest::newRow("plain start") << QStringList() << "screenshot.png";
        // The virtual display has no tray, so a hidden start would leave nothing to reach.
        QTest::newRow("-autorun without a tray")
            << QStringList{"-autorun"} << "screenshot-autorun.png";
    }

    void theWindowIsPaintedAtItsWorkingSizeCentred()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, pictureName);
        if (CountProcessesByName(kExecutableName) > 0)
            QSKIP("another copy of the program runs on this machine; it would be ended");
        // A copy in its own folder, so it reads the settings file written here.
        const QString program = m_folder.filePath("Tessaromandel");
        QVERIFY(QFile::exists(program) || QFile::copy(TESSAROMANDEL_EXECUTABLE, program));
        QFile settings(m_folder.filePath("Tessaromandel.vrn"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QStringLiteral("sourcePath=D:/数据/\r\nJustShow=y\r\n").toLocal8Bit());
        settings.close();

        const QString picture = QCoreApplication::applicationDirPath() + "/" + pictureName;
        QFile::remove(picture);
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start("sh", QStringList{SCREENSHOT_SCRIPT, program, picture} + arguments);
        QVERIFY(script.waitForFinished(30000));
        QCOMPARE(script.exitCode(), 0);

        QImage image(picture);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(1280, 800));

        // Everything painted lies in the window: 940 × 620, centred for the form's 720 pixels.
        QRect painted;
        QSet<QRgb> colours;
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.rgb() == qRgb(0, 0, 0))
                    continue;
                painted |= QRect(x, y, 1, 1);
                colours << colour.rgb();
                if (colour.red() > 180 && colour.green() < 90 && colour.blue() < 90)
                    ++red;
            }
        }
        QCOMPARE(painted, QRect(170, 40, 940, 620));
        // Text, frames and edits give many shades; the red of the status line and the note.
        QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));
        QVERIFY2(red > 100, qPrintable(QString::number(red)));
    }
};

QTEST_GUILESS_MAIN(ScreenshotTest)
#include "tst_screenshot.moc"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// The engine and the command line sit below the window: they must build and run without the
// widget module, so that a machine without a display can use them.
class LayeringTest : public QObject
{
    Q_OBJECT

private slots:
    void engineAndCommandLineIncludeNoWidgetOrWindowHeader()
    {
        const QString root = qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR");
        QVERIFY(!root.isEmpty());
        // Built from pieces: moc reads this file too, and takes an include line for its own.
        const QRegularExpression forbidden(QStringLiteral("#\\s*") + "include" +
                                           "\\s*[<\"](QtWidgets|QWidget|QMessageBox|"
                                           "QApplication|QDialog|app/)");
        int files = 0;
        for (const char *layer : {"engine", "cli"}) {
            QDirIterator it(root + "/" + layer, {"*.h", "*.cpp"}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString text = QString::fromUtf8(file.readAll());
                QVERIFY2(!forbidden.match(text).hasMatch(), qPrintable(file.fileName()));
                ++files;
            }
        }
        QVERIFY(files > 10);
    }
};

QTEST_GUILESS_MAIN(LayeringTest)
#include "tst_layering.moc"

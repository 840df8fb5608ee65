#include "app/qtchinese.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// Qt's own texts in the standard dialogs, with the Chinese catalogue really loaded.
class QtChineseTest : public QObject
{
    Q_OBJECT

    static QStringList actionTexts(const QList<QAction *> &actions)
    {
        QStringList texts;
        for (const QAction *action : actions)
            texts << action->text();
        return texts;
    }

private slots:
    void initTestCase()
    {
        // Whatever the system's language: the window is Chinese, so its dialogs are too.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        if (!InstallQtChineseTranslation(*QCoreApplication::instance()))
            QSKIP("Qt's Chinese catalogue qtbase_zh_CN.qm is not installed "
                  "(Debian: qttranslations5-l10n)");
        QVERIFY(!QtChineseTranslationFolder().isEmpty());
    }

    void messageBoxButtonsAreChinese()
    {
        QMessageBox box(QMessageBox::Question, "t", "x",
                        QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")),
                 qPrintable(box.button(QMessageBox::Yes)->text()));
        QVERIFY2(box.button(QMessageBox::No)->text().contains(QStringLiteral("否")),
                 qPrintable(box.button(QMessageBox::No)->text()));
    }

    void textFieldContextMenuIsChinese()
    {
        QLineEdit field;
        field.setText("abc");
        field.selectAll();
        std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        const QString texts = actionTexts(menu->actions()).join('|');
        for (const char *word : {"复制", "粘贴", "全选"})
            QVERIFY2(texts.contains(QString::fromUtf8(word)), qPrintable(texts));
    }

    void folderPickerIsChinese()
    {
        // Qt's own picker, the one shown where the desktop offers none.
        QFileDialog picker(nullptr, QStringLiteral("选择文件夹"), ".");
        picker.setOption(QFileDialog::DontUseNativeDialog);
        picker.setFileMode(QFileDialog::Directory);
        picker.setOption(QFileDialog::ShowDirsOnly);
        auto *buttons = picker.findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        QStringList texts;
        for (QAbstractButton *button : buttons->buttons())
            texts << button->text();
        QVERIFY2(texts.contains(QStringLiteral("取消")), qPrintable(texts.join('|')));
        const QStringList labels = [&] {
            QStringList all;
            for (const QLabel *label : picker.findChildren<QLabel *>())
                all << label->text();
            return all;
        }();
        QVERIFY2(labels.join('|').contains(QStringLiteral("查看")) ||
                     labels.join('|').contains(QStringLiteral("目录")) ||
                     labels.join('|').contains(QStringLiteral("文件")),
                 qPrintable(labels.join('|')));
    }
};

QTEST_MAIN(QtChineseTest)
#include "tst_qtchinese.moc"

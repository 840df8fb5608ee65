#include "app/startup.h"
#include "app/systemtray.h"
#include "app/trayavailability.h"
#include "app/widget.h"
#include "engine/runparameters.h"
#include "platform/display.h"
#include "tests/app/modalanswerer.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>

namespace
{

bool s_trayAvailable = true;
bool StandInTray()
{
    return s_trayAvailable;
}

QString ObjectText(const QObject *object)
{
    if (auto *box = qobject_cast<const QGroupBox *>(object))
        return box->title();
    if (auto *edit = qobject_cast<const QPlainTextEdit *>(object))
        return edit->toPlainText();
    if (auto *combo = qobject_cast<const QComboBox *>(object))
        return combo->currentText();
    return object->property("text").toString();
}

QStringList ItemNames(const QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        names << (item->widget() ? item->widget()->objectName() : item->layout()->objectName());
    }
    return names;
}

const QString kStatusText = QStringLiteral(
    "<html><head/><body><p>【操作前请备份,并关闭所有excel文件,支持微软Office2010及以上版本、WPS专业"
    "版】</p></body></html>");

} // namespace

// The real window on the offscreen platform, with its settings file in a temporary folder.
class WidgetTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString m_settingsPath;

    void writeSettings(const QByteArray &content)
    {
        QFile file(m_settingsPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    QByteArray readSettings()
    {
        QFile file(m_settingsPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void setFirstArgument(const char *argument)
    {
        qstrncpy(firstArgument, argument, sizeof firstArgument);
    }

    template <class T> static T *control(Widget &window, const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }

    static QPoint centredFor(const QSize &size)
    {
        const DisplayGeometry display = PrimaryDisplayGeometry();
        return {display.left + (display.width - size.width()) / 2,
                display.top + (display.height - size.height()) / 2};
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
        QVERIFY(m_folder.isValid());
        m_settingsPath = m_folder.filePath("Tessaromandel.vrn");
        qstrncpy(settingsFilePath, m_settingsPath.toLocal8Bit(), sizeof settingsFilePath);
        SystemTrayAvailable = &StandInTray;
        // The tests hide and show windows freely; only the quit action may end a loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        QFile::remove(m_settingsPath);
        setFirstArgument("");
        s_trayAvailable = true;
    }

    // The form

    void everyControlHasItsClassAndText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        const QString find = QStringLiteral("查找："), replace = QStringLiteral("替换：");
        const struct {
            const char *name, *className;
            QString text;
        } rows[] = {
            {"centralWidget", "QWidget", {}},
            {"tabWidget", "QTabWidget", {}},
            {"wgt_AddToTab1", "QWidget", {}},
            {"gBox_Setting", "QGroupBox",
             QStringLiteral("支持微软Office2010及以上版本、WPS专业版。（操作不可逆,操作前请备份,"
                            "并关闭所有excel文件）")},
            {"pBtn_SourcePath", "QPushButton", QStringLiteral("选择文件夹")},
            {"lEdt_SourcePath", "QLineEdit", {}},
            {"cBox_JustShow", "QCheckBox", QStringLiteral("只列出包含查找内容目录,不替换")},
            {"pBtn_MustRead", "QPushButton", QStringLiteral("使用必读")},
            {"lb_FindTextExplain_2", "QLabel", QStringLiteral("查找内容：")},
            {"lEdt_FindText", "QLineEdit", {}},
            {"lb_ReplaceExcelTextExplain_2", "QLabel", QStringLiteral("替换为：")},
            {"lEdt_ReplaceExcelText", "QLineEdit", {}},
            {"pBtn_ReplaceExcelText", "QPushButton", QStringLiteral("全部替换")},
            {"label_2", "QLabel", {}},
            {"label_3", "QLabel", {}},
            {"label", "QLabel",
             QStringLiteral("<html><head/><body><p><span style=\" font-weight:600;\">多个内容同时查"
                            "找替换时,请换行表示,并一一对应</span><span style=\" "
                            "color:#ff0000;\">（建议先备份）</span><span style=\" "
                            "font-weight:600;\">：</span></p></body></html>")},
            {"lb_FindTextExplain", "QLabel", QStringLiteral("查找内容：")},
            {"pTEdt_FindText", "QPlainTextEdit", {}},
            {"lb_ReplaceExcelTextExplain", "QLabel", QStringLiteral("替换为：")},
            {"pTEdt_ReplaceExcelText", "QPlainTextEdit", {}},
            {"pBtn_ReplaceExcelText_2", "QPushButton", QStringLiteral("全部替换")},
            {"groupBox_2", "QGroupBox",
             QStringLiteral("批量设置页眉页脚(如查找栏留空，只填写替换栏，表示页眉或页脚设置为替换"
                            "栏内容)")},
            {"widget_3", "QWidget", {}},
            {"label_8", "QLabel", QStringLiteral("页眉位置：")},
            {"cmBox_PageHeader", "QComboBox", QStringLiteral("中间")},
            {"label_4", "QLabel", find},
            {"lEdt_PageHeaderFind", "QLineEdit", {}},
            {"label_5", "QLabel", replace},
            {"lEdt_PageHeader", "QLineEdit", {}},
            {"pBtn_PageHeaderFooter", "QPushButton", QStringLiteral("批量设置页眉")},
            {"widget_4", "QWidget", {}},
            {"label_9", "QLabel", QStringLiteral("页脚位置：")},
            {"cmBox_PageFooter", "QComboBox", QStringLiteral("左边")},
            {"label_6", "QLabel", find},
            {"lEdt_PageFooterFind", "QLineEdit", {}},
            {"label_7", "QLabel", replace},
            {"lEdt_PageFooter", "QLineEdit", {}},
            {"pBtn_PageFooter", "QPushButton", QStringLiteral("批量设置页脚")},
            {"groupBox", "QGroupBox", QStringLiteral("批量修改Sheet工作表名称")},
            {"lb_FindTextExplain_3", "QLabel", find},
            {"lEdt_FindShtName", "QLineEdit", {}},
            {"lb_ReplaceExcelTextExplain_3", "QLabel", replace},
            {"lEdt_ReplaceShtName", "QLineEdit", {}},
            {"cBox_AppSheet", "QCheckBox", QStringLiteral("指定修改第N个Sheet名称:")},
            {"sBox_AppSheet", "QSpinBox", QStringLiteral("1")},
            {"pBtn_ReplaceShtName", "QPushButton", QStringLiteral("全部修改")},
            {"lb_ShowDisposingFile", "QLabel", kStatusText},
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << row.name << row.className << row.text;
    }

    void everyControlHasItsClassAndText()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        Widget window;
        QObject *object = window.findChild<QObject *>(name);
        QVERIFY2(object, qPrintable(name));
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
        QCOMPARE(ObjectText(object), text);
        // Only the spin box starts disabled, until its check box is checked.
        QCOMPARE(qobject_cast<QWidget *>(object)->isEnabled(), name != "sBox_AppSheet");
    }

    void aFreshWindowStartsInItsInitialState()
    {
        Widget window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Tessaromandel5.1"));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(window.isVisible());
        QCOMPARE(window.size(), QSize(940, 620));

        auto *tabs = control<QTabWidget>(window, "tabWidget");
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("软件设置"));
        QCOMPARE(tabs->currentWidget(), control<QWidget>(window, "wgt_AddToTab1"));
        QVERIFY(!tabs->autoFillBackground());

        QVERIFY(!control<QCheckBox>(window, "cBox_JustShow")->isChecked());
        QVERIFY(!control<QCheckBox>(window, "cBox_AppSheet")->isChecked());
        auto *spin = control<QSpinBox>(window, "sBox_AppSheet");
        QCOMPARE(spin->minimum(), 1);
        QCOMPARE(spin->maximum(), 9999);

        const auto items = [](QComboBox *combo) {
            QStringList texts;
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
            return texts;
        };
        auto *header = control<QComboBox>(window, "cmBox_PageHeader");
        auto *footer = control<QComboBox>(window, "cmBox_PageFooter");
        QCOMPARE(items(header), QStringList({"中间", "左边", "右边"}));
        QCOMPARE(items(footer), QStringList({"左边", "中间", "右边"}));
        QCOMPARE(header->currentIndex(), 0);
        QCOMPARE(footer->currentIndex(), 0);

        auto *folderButton = control<QPushButton>(window, "pBtn_SourcePath");
        QCOMPARE(folderButton->font().family(), QStringLiteral("Agency FB"));
        QVERIFY(folderButton->font().bold());
        QCOMPARE(control<QLabel>(window, "lb_ShowDisposingFile")->styleSheet(),
                 QStringLiteral("color: rgb(255, 0, 0);"));
        for (const char *rule : {"label_2", "label_3"}) {
            auto *label = control<QLabel>(window, rule);
            QCOMPARE(label->frameShape(), QFrame::Box);
            QCOMPARE(label->frameShadow(), QFrame::Raised);
        }
    }

    void layoutsNestAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QVector<int>>("margins"); // left, top, right, bottom; -1 the default
        const QVector<int> none{0, 0, 0, 0}, eleven{11, 11, 11, 11}, unset{-1, -1, -1, -1};
        QTest::newRow("window") << "verticalLayout_8" << QStringList{"centralWidget"} << none;
        QTest::newRow("central") << "verticalLayout_9" << QStringList{"tabWidget"} << none;
        QTest::newRow("tab") << "verticalLayout_10"
                             << QStringList{"gBox_Setting", "groupBox_2", "groupBox",
                                            "lb_ShowDisposingFile"}
                             << none;
        QTest::newRow("settings") << "verticalLayout_3" << QStringList{"horizontalLayout_3",
                                                                       "horizontalLayout_4",
                                                                       "label_2",
                                                                       "label_3",
                                                                       "label",
                                                                       "horizontalLayout_2"}
                                  << eleven;
        QTest::newRow("folder row")
            << "horizontalLayout_3"
            << QStringList{"pBtn_SourcePath", "lEdt_SourcePath", "cBox_JustShow", "pBtn_MustRead"}
            << QVector<int>{-1, 5, -1, 5};
        QTest::newRow("one pair") << "horizontalLayout_4"
                                  << QStringList{"lb_FindTextExplain_2", "lEdt_FindText",
                                                 "lb_ReplaceExcelTextExplain_2",
                                                 "lEdt_ReplaceExcelText", "pBtn_ReplaceExcelText"}
                                  << unset;
        QTest::newRow("pairs") << "horizontalLayout_2"
                               << QStringList{"verticalLayout", "verticalLayout_2",
                                              "pBtn_ReplaceExcelText_2"}
                               << unset;
        QTest::newRow("find lines")
            << "verticalLayout" << QStringList{"lb_FindTextExplain", "pTEdt_FindText"} << unset;
        QTest::newRow("replace lines")
            << "verticalLayout_2"
            << QStringList{"lb_ReplaceExcelTextExplain", "pTEdt_ReplaceExcelText"} << unset;
        QTest::newRow("headers and footers")
            << "verticalLayout_11" << QStringList{"widget_3", "widget_4"}
            << QVector<int>{-1, 5, -1, 5};
        QTest::newRow("header row") << "horizontalLayout_6" << QStringList{"label_8",
                                                                           "cmBox_PageHeader",
                                                                           "label_4",
                                                                           "lEdt_PageHeaderFind",
                                                                           "label_5",
                                                                           "lEdt_PageHeader",
                                                                           "pBtn_PageHeaderFooter"}
                                    << QVector<int>{5, 2, 5, 2};
        QTest::newRow("footer row")
            << "horizontalLayout_7"
            << QStringList{"label_9", "cmBox_PageFooter", "label_6",        "lEdt_PageFooterFind",
                           "label_7", "lEdt_PageFooter",  "pBtn_PageFooter"}
            << QVector<int>{5, 2, 5, 2};
        QTest::newRow("sheet names")
            << "horizontalLayout_5" << QStringList{"lb_FindTextExplain_3",
                                                   "lEdt_FindShtName",
                                                   "lb_ReplaceExcelTextExplain_3",
                                                   "lEdt_ReplaceShtName",
                                                   "cBox_AppSheet",
                                                   "sBox_AppSheet",
                                                   "pBtn_ReplaceShtName"}
            << eleven;
    }

    void layoutsNestAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        QFETCH(QVector<int>, margins);
        Widget window;
        auto *layout = window.findChild<QLayout *>(name);
        QVERIFY2(layout, qPrintable(name));
        QCOMPARE(ItemNames(layout), items);
        QCOMPARE(layout->spacing(), 6);
        const QMargins actual = layout->contentsMargins();
        const int sides[] = {actual.left(), actual.top(), actual.right(), actual.bottom()};
        for (int i = 0; i < 4; ++i) {
            if (margins[i] >= 0)
                QCOMPARE(sides[i], margins[i]);
        }
    }

    void extraHeightGoesToTheSettingsBoxAndTheRulesStayThin()
    {
        Widget window;
        QCOMPARE(window.size(), QSize(940, 620));
        const auto heightOf = [&window](const char *name) {
            return control<QWidget>(window, name)->height();
        };
        const int settings = heightOf("gBox_Setting"), headers = heightOf("groupBox_2"),
                  sheets = heightOf("groupBox"), status = heightOf("lb_ShowDisposingFile");
        QVERIFY(status >= 30);

        window.resize(1100, 920);
        QCOMPARE(window.height(), 920);
        QCOMPARE(heightOf("gBox_Setting"), settings + 300);
        QCOMPARE(heightOf("groupBox_2"), headers);
        QCOMPARE(heightOf("groupBox"), sheets);
        QCOMPARE(heightOf("lb_ShowDisposingFile"), status);
        QCOMPARE(heightOf("label_2"), 1);
        QCOMPARE(heightOf("label_3"), 1);
        // The multi-line boxes take their share of the growth.
        QVERIFY(heightOf("pTEdt_FindText") > 150);

        window.resize(200, 100); // the layout keeps the window at its minimum
        QCOMPARE(heightOf("label_2"), 1);
        QCOMPARE(heightOf("label_3"), 1);
        QVERIFY(heightOf("lb_ShowDisposingFile") >= 30);
    }

    // Settings

    void settingsAreRestoredAtStart_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("listOnly");
        QTest::newRow("y") << QByteArray("sourcePath=D:/Data/\r\nJustShow=y\r\n")
                           << QStringLiteral("D:/Data/") << true;
        QTest::newRow("yes, only the first letter counts")
            << QByteArray("JustShow=yes\r\nsourcePath=  /tmp/数据/ \r\n")
            << QStringLiteral("/tmp/数据/") << true;
        QTest::newRow("upper-case Y") << QByteArray("JustShow=Y\r\n") << QString() << false;
        QTest::newRow("n") << QByteArray("sourcePath=x\r\nJustShow=n\r\n") << QStringLiteral("x")
                           << false;
        QTest::newRow("key missing")
            << QByteArray("sourcePath=x\r\n") << QStringLiteral("x") << false;
        QTest::newRow("empty file") << QByteArray() << QString() << false;
        QTest::newRow("value longer than its buffer")
            << QByteArray("sourcePath=" + QByteArray(1500, 'a') + "\r\nJustShow=y\r\n") << QString()
            << true;
        QTest::newRow("file longer than the settings text")
            << QByteArray("JustShow=y\r\nsourcePath=x\r\n" + QByteArray(11000, '#')) << QString()
            << false;
    }

    void settingsAreRestoredAtStart()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, folder);
        QFETCH(bool, listOnly);
        writeSettings(content);
        Widget window;
        QCOMPARE(control<QLineEdit>(window, "lEdt_SourcePath")->text(), folder);
        QCOMPARE(control<QCheckBox>(window, "cBox_JustShow")->isChecked(), listOnly);
        // Restoring is not a click: the file is not rewritten.
        QCOMPARE(readSettings(), content);
    }

    void aMissingSettingsFileStartsEmptyAndIsNotCreated()
    {
        Widget window;
        QVERIFY(control<QLineEdit>(window, "lEdt_SourcePath")->text().isEmpty());
        auto *listOnly = control<QCheckBox>(window, "cBox_JustShow");
        QVERIFY(!listOnly->isChecked());
        QTest::mouseClick(listOnly, Qt::LeftButton);
        QVERIFY(listOnly->isChecked());
        QVERIFY(!QFile::exists(m_settingsPath));
    }

    void clickingListOnlyRewritesOnlyItsOwnLine()
    {
        writeSettings("first=1\r\nJustShow=n\r\nsourcePath=C:/a/\r\nlast=2\r\n");
        Widget window;
        auto *listOnly = control<QCheckBox>(window, "cBox_JustShow");
        QTest::mouseClick(listOnly, Qt::LeftButton);
        QCOMPARE(readSettings(),
                 QByteArray("first=1\r\nJustShow=y\r\nsourcePath=C:/a/\r\nlast=2\r\n"));
        QTest::mouseClick(listOnly, Qt::LeftButton);
        QCOMPARE(readSettings(),
                 QByteArray("first=1\r\nJustShow=n\r\nsourcePath=C:/a/\r\nlast=2\r\n"));

        writeSettings("sourcePath=C:/a/\r\n");
        QTest::mouseClick(listOnly, Qt::LeftButton);
        QCOMPARE(readSettings(), QByteArray("sourcePath=C:/a/\r\nJustShow=y\r\n"));
    }

    void theChoiceSurvivesARestart()
    {
        writeSettings("sourcePath=C:/a/\r\n");
        {
            Widget window;
            QTest::mouseClick(control<QCheckBox>(window, "cBox_JustShow"), Qt::LeftButton);
        }
        Widget restarted;
        QVERIFY(control<QCheckBox>(restarted, "cBox_JustShow")->isChecked());
        QCOMPARE(control<QLineEdit>(restarted, "lEdt_SourcePath")->text(), QStringLiteral("C:/a/"));
    }

    // Controls

    void theNthSheetBoxSwitchesBetweenFindFieldAndSpinBox()
    {
        Widget window;
        auto *nthSheet = control<QCheckBox>(window, "cBox_AppSheet");
        auto *findField = control<QLineEdit>(window, "lEdt_FindShtName");
        auto *spin = control<QSpinBox>(window, "sBox_AppSheet");
        QTest::mouseClick(nthSheet, Qt::LeftButton);
        QVERIFY(!findField->isEnabled());
        QVERIFY(spin->isEnabled());
        QVERIFY(RunParameters::Snapshot().appSheetOn);
        QTest::mouseClick(nthSheet, Qt::LeftButton);
        QVERIFY(findField->isEnabled());
        QVERIFY(!spin->isEnabled());
        QVERIFY(!RunParameters::Snapshot().appSheetOn);
    }

    void thePickerPutsTheFolderWithASlashIntoTheField_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << m_folder.path() << m_folder.path() + "/";
        QTest::newRow("root already ends in a slash") << "/"
                                                      << "//";
    }

    void thePickerPutsTheFolderWithASlashIntoTheField()
    {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        Widget window;
        QString startFolder;
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            QVERIFY(dialog);
            startFolder = dialog->directory().absolutePath();
            dialog->setDirectory(folder);
            static_cast<QDialog *>(dialog)->accept();
        });
        QTest::mouseClick(control<QPushButton>(window, "pBtn_SourcePath"), Qt::LeftButton);
        QCOMPARE(control<QLineEdit>(window, "lEdt_SourcePath")->text(), expected);
        // Bound by name and again explicitly, the button still opens one picker per click.
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QStringLiteral("选择文件夹"));
        QCOMPARE(startFolder, QDir::currentPath());
    }

    void aCancelledPickerKeepsTheField()
    {
        Widget window;
        auto *field = control<QLineEdit>(window, "lEdt_SourcePath");
        field->setText("D:/kept/");
        ModalAnswerer answerer([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
        QTest::mouseClick(control<QPushButton>(window, "pBtn_SourcePath"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(field->text(), QStringLiteral("D:/kept/"));
    }

    void theUsageNotesShowInOneBox()
    {
        Widget window;
        QString text;
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            text = box->text();
            box->accept();
        });
        QTest::mouseClick(control<QPushButton>(window, "pBtn_MustRead"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QStringLiteral("注意"));
        QCOMPARE(
            text,
            QStringLiteral(
                "<p style=\"font-size:16px;line-height:20px;\">"
                "1. 本软件无需安装，解压后运行即可，但请勿解压到需要管理员权限的系统文件夹，否"
                "则无法保存设置，无法正常升级。<br/><br/>"
                "2. 如有需管理员权限的设置，请使用“以管理员身份运行“(鼠标指向软件exe文件点击右"
                "键即可选择)，否则无法保存设置。<br/><br/>"
                "3. 软件请在微软Windows7或以上系统运行，不支持xp系统。<br/><br/>"
                "4. 软件需要对电脑文件进行修改操作，如果360等软件询问是否允许，请选择总是运行，"
                "并勾选不再询问。</p>"));
    }

    void runProgressReachesTheWindowByItsSlots()
    {
        Widget window;
        const char *buttons[] = {"pBtn_ReplaceExcelText", "pBtn_ReplaceExcelText_2",
                                 "pBtn_PageHeaderFooter", "pBtn_PageFooter", "pBtn_ReplaceShtName"};
        for (const char *name : buttons)
            control<QPushButton>(window, name)->setEnabled(false);
        QVERIFY(QMetaObject::invokeMethod(&window, "on_ShowDisposingFile", Qt::QueuedConnection,
                                          Q_ARG(QString, QStringLiteral("D:\\a\\b.xlsx"))));
        QVERIFY(QMetaObject::invokeMethod(&window, "on_Set_pBtn_Enable", Qt::QueuedConnection));
        QTRY_COMPARE(control<QLabel>(window, "lb_ShowDisposingFile")->text(),
                     QStringLiteral("D:\\a\\b.xlsx"));
        QTRY_VERIFY(control<QPushButton>(window, "pBtn_ReplaceShtName")->isEnabled());
        for (const char *name : buttons)
            QVERIFY2(control<QPushButton>(window, name)->isEnabled(), name);
    }

    // Window placement

    void aTabClickRestoresTheWorkingSizeCentred_data()
    {
        QTest::addColumn<Qt::WindowState>("state");
        QTest::newRow("maximised") << Qt::WindowMaximized;
        QTest::newRow("minimised") << Qt::WindowMinimized;
        QTest::newRow("full screen") << Qt::WindowFullScreen;
    }

    void aTabClickRestoresTheWorkingSizeCentred()
    {
        QFETCH(Qt::WindowState, state);
        Widget window;
        window.setWindowState(state);
        QTRY_VERIFY(window.windowState() & state);
        auto *tabBar = control<QTabWidget>(window, "tabWidget")->tabBar();
        QTest::mouseClick(tabBar, Qt::LeftButton, {}, tabBar->tabRect(0).center());
        QCOMPARE(window.windowState(), Qt::WindowNoState);
        QCOMPARE(window.size(), QSize(940, 620));
        QCOMPARE(window.pos(), centredFor(QSize(940, 620)));
    }

    void theWindowStartsCentredForTheFormHeight()
    {
        Widget window;
        // Centred while the form's 720 pixels were its height, then shortened in place.
        QCOMPARE(window.pos(), centredFor(QSize(940, 720)));
    }

    void onTwoScreensTheWindowOpensOnThePrimaryOne()
    {
        // The primary monitor stands right of and below a secondary one at the origin.
        const auto rightScreen = []() { return DisplayGeometry{1920, 200, 1280, 1024}; };
        const auto system = PrimaryDisplayGeometry;
        PrimaryDisplayGeometry = rightScreen;
        {
            Widget window;
            QCOMPARE(window.pos(), QPoint(1920 + 170, 200 + 152));
            window.setWindowState(Qt::WindowMaximized);
            auto *tabBar = control<QTabWidget>(window, "tabWidget")->tabBar();
            QTest::mouseClick(tabBar, Qt::LeftButton, {}, tabBar->tabRect(0).center());
            QCOMPARE(window.pos(), QPoint(1920 + 170, 200 + 202));
        }
        PrimaryDisplayGeometry = system;
    }

    // Hidden start and the tray

    void autorunStartsHidden_data()
    {
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("visible");
        QTest::newRow("-autorun") << QByteArray("-autorun") << true << false;
        QTest::newRow("other letter case") << QByteArray("-AutoRun") << true << true;
        QTest::newRow("further characters") << QByteArray("-autorunx") << true << true;
        QTest::newRow("no argument") << QByteArray() << true << true;
        QTest::newRow("-autorun without a tray") << QByteArray("-autorun") << false << true;
    }

    void autorunStartsHidden()
    {
        QFETCH(QByteArray, argument);
        QFETCH(bool, trayAvailable);
        QFETCH(bool, visible);
        setFirstArgument(argument.constData());
        s_trayAvailable = trayAvailable;
        Widget window;
        QCOMPARE(window.isVisible(), visible);
        QVERIFY(tray && tray->parent() == &window);
        QVERIFY(tray->isVisible());
    }

    void trayClicksShowTheWindowOtherReasonsDoNothing()
    {
        setFirstArgument("-autorun");
        Widget window;
        QVERIFY(!window.isVisible());
        for (auto reason :
             {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
            emit tray->activated(reason);
            QVERIFY(!window.isVisible());
        }
        for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
            window.hide();
            emit tray->activated(reason);
            QVERIFY(window.isVisible());
            QCOMPARE(window.size(), QSize(940, 620));
        }
    }

    void theSettingsEntryShowsAndRestoresTheWindow()
    {
        setFirstArgument("-autorun");
        Widget window;
        QAction *settings = tray->contextMenu()->actions().value(0);
        QVERIFY(settings);
        QCOMPARE(settings->text(), QStringLiteral("软件设置"));
        settings->trigger();
        QVERIFY(window.isVisible());
        QCOMPARE(window.size(), QSize(940, 620));

        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        settings->trigger();
        QTRY_COMPARE(window.windowState(), Qt::WindowNoState);
        QCOMPARE(window.size(), QSize(940, 620));
    }

    void theQuitEntryEndsTheEventLoop()
    {
        Widget window;
        QAction *quit = tray->contextMenu()->actions().value(1);
        QVERIFY(quit);
        QCOMPARE(quit->text(), QStringLiteral("退出程序"));
        QTimer::singleShot(0, quit, &QAction::trigger);
        // Fires only when the quit entry failed to end the loop.
        QTimer failSafe;
        failSafe.setSingleShot(true);
        connect(&failSafe, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        failSafe.start(5000);
        QCOMPARE(QApplication::exec(), 0);
    }

    void destroyingTheWindowForgetsItsTray()
    {
        {
            Widget window;
            QVERIFY(tray);
        }
        QVERIFY(!tray);
    }
};

QTEST_MAIN(WidgetTest)
#include "tst_widget.moc"

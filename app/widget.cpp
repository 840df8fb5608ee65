#include "app/widget.h"

#include "app/runoptions.h"
#include "app/startup.h"
#include "app/systemtray.h"
#include "app/trayavailability.h"
#include "platform/display.h"
#include "support/fileroutines.h"
#include "ui_widget.h"

#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>
#include <QMetaMethod>
#include <cstring>

SystemTray *tray = nullptr;

namespace
{

constexpr int kWorkingHeight = 620;

// The form's by-name binding has already made these connections. A unique connection made
// through meta-methods recognises it and adds none; one made with member pointers would not,
// and the slot would run twice per click.
void ConnectOnce(QObject *sender, const QMetaMethod &signal, QObject *receiver,
                 const char *slotSignature)
{
    const QMetaObject *meta = receiver->metaObject();
    QObject::connect(sender, signal, receiver, meta->method(meta->indexOfSlot(slotSignature)),
                     Qt::UniqueConnection);
}

QString UsageNotes()
{
    const QStringList notes = {
        QStringLiteral("1. 本软件无需安装，解压后运行即可，但请勿解压到需要管理员权限的系统文件夹，"
                       "否则无法保存设置，无法正常升级。"),
        QStringLiteral("2. 如有需管理员权限的设置，请使用“以管理员身份运行“(鼠标指向软件exe文件点"
                       "击右键即可选择)，否则无法保存设置。"),
        QStringLiteral("3. 软件请在微软Windows7或以上系统运行，不支持xp系统。"),
        QStringLiteral(
            "4. 软件需要对电脑文件进行修改操作，如果360等软件询问是否允许，请选择总是运行"
            "，并勾选不再询问。"),
    };
    return QStringLiteral("<p style=\"font-size:16px;line-height:20px;\">") +
           notes.join(QStringLiteral("<br/><br/>")) + QStringLiteral("</p>");
}

} // namespace

Widget::Widget(QWidget *parent) : QWidget(parent), ui(new Ui::Widget)
{
    ui->setupUi(this);

    const DisplaySize display = PrimaryDisplaySize();
    screenWidth = display.width;
    screenHeight = display.height;
    normalWidth = width();
    normalHeight = height();
    move((screenWidth - width()) / 2, (screenHeight - height()) / 2);

    setWindowTitle(QStringLiteral("Tessaromandel") + QStringLiteral("5.1"));
    setWindowIcon(QIcon(QStringLiteral(":/images/vrn.ico")));

    tray = new SystemTray(this);
    connect(tray, &SystemTray::showWidget, this, &Widget::ShowWindow, Qt::UniqueConnection);
    connect(tray, &QSystemTrayIcon::activated, this, &Widget::SystemTrayActivated,
            Qt::UniqueConnection);

    ConnectOnce(ui->pBtn_SourcePath, QMetaMethod::fromSignal(&QAbstractButton::clicked), this,
                "on_pBtn_SourcePath_clicked()");
    ConnectOnce(ui->tabWidget, QMetaMethod::fromSignal(&QTabWidget::tabBarClicked), this,
                "on_tabWidget_tabBarClicked(int)");

    LoadFileText(settingsText, settingsFilePath);

    normalHeight = kWorkingHeight;
    resize(normalWidth, normalHeight);

    char sourcePath[kSettingsValueSize] = {};
    GetKeyValue(sourcePath, settingsText, "sourcePath");
    ui->lEdt_SourcePath->setText(QString::fromLocal8Bit(sourcePath));

    char justShow[kSettingsValueSize] = {};
    GetKeyValue(justShow, settingsText, "JustShow");
    if (justShow[0] == 'y')
        ui->cBox_JustShow->setChecked(true);

    // Hidden, the window is reached only through the tray icon; with no tray it would be lost.
    if (std::strcmp(firstArgument, kAutorunArgument) != 0 || !SystemTrayAvailable())
        show();

    workerThread = nullptr;
    worker = nullptr;

    ui->cmBox_PageHeader->addItem(QStringLiteral("中间"));
    ui->cmBox_PageHeader->addItem(QStringLiteral("左边"));
    ui->cmBox_PageHeader->addItem(QStringLiteral("右边"));
    ui->cmBox_PageFooter->addItem(QStringLiteral("左边"));
    ui->cmBox_PageFooter->addItem(QStringLiteral("中间"));
    ui->cmBox_PageFooter->addItem(QStringLiteral("右边"));
}

Widget::~Widget()
{
    if (tray && tray->parent() == this)
        tray = nullptr;
    delete ui;
}

void Widget::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
}

void Widget::ShowWindow()
{
    showNormal();
    resize(normalWidth, normalHeight);
    raise();
    activateWindow();
}

void Widget::SystemTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        ShowWindow();
}

void Widget::on_tabWidget_tabBarClicked(int index)
{
    Q_UNUSED(index);
    setWindowState(Qt::WindowNoState);
    ui->tabWidget->setGeometry(-2, -2, normalWidth + 5, normalHeight - 18);
    resize(normalWidth, normalHeight);
    ui->centralWidget->setGeometry(0, 0, normalWidth + 1, normalHeight - 26);
    move((screenWidth - width()) / 2, (screenHeight - height()) / 2);
    setWindowState(Qt::WindowNoState);
}

void Widget::on_pBtn_SourcePath_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择文件夹"), QStringLiteral("."),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        ui->lEdt_SourcePath->setText(folder + QStringLiteral("/"));
}

void Widget::on_pBtn_ReplaceExcelText_clicked() {}

void Widget::on_ShowDisposingFile(QString text)
{
    ui->lb_ShowDisposingFile->setText(text);
}

void Widget::on_Set_pBtn_Enable()
{
    ui->pBtn_ReplaceExcelText->setEnabled(true);
    ui->pBtn_ReplaceExcelText_2->setEnabled(true);
    ui->pBtn_PageHeaderFooter->setEnabled(true);
    ui->pBtn_PageFooter->setEnabled(true);
    ui->pBtn_ReplaceShtName->setEnabled(true);
}

void Widget::on_pBtn_ReplaceExcelText_2_clicked() {}

void Widget::on_cBox_JustShow_clicked()
{
    const char *value = ui->cBox_JustShow->checkState() == Qt::Checked ? "y" : "n";
    SetKeyValueInFileAndText(settingsFilePath, settingsText, "JustShow", value);
}

void Widget::on_pBtn_PageHeaderFooter_clicked() {}

void Widget::on_pBtn_PageFooter_clicked() {}

void Widget::on_pBtn_ReplaceShtName_clicked() {}

void Widget::on_pBtn_MustRead_clicked()
{
    QMessageBox::about(nullptr, QStringLiteral("注意"), UsageNotes());
}

void Widget::on_cBox_AppSheet_stateChanged(int arg1)
{
    const bool nthSheet = arg1 != 0;
    ui->lEdt_FindShtName->setEnabled(!nthSheet);
    ui->sBox_AppSheet->setEnabled(nthSheet);
    appSheetOn = nthSheet;
}

#include "app/widget.h"

#include "app/startup.h"
#include "app/systemtray.h"
#include "app/trayavailability.h"
#include "engine/runlauncher.h"
#include "engine/runparameters.h"
#include "engine/threadobject.h"
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

    const DisplayGeometry display = PrimaryDisplayGeometry();
    m_screenLeft = display.left;
    m_screenTop = display.top;
    screenWidth = display.width;
    screenHeight = display.height;
    normalWidth = width();
    normalHeight = height();
    CentreOnPrimaryDisplay();

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
    CentreOnPrimaryDisplay();
    setWindowState(Qt::WindowNoState);
}

void Widget::CentreOnPrimaryDisplay()
{
    // The primary display need not be the top-left one: its origin is part of the centre.
    move(m_screenLeft + (screenWidth - width()) / 2, m_screenTop + (screenHeight - height()) / 2);
}

void Widget::on_pBtn_SourcePath_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择文件夹"), QStringLiteral("."),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        ui->lEdt_SourcePath->setText(folder + QStringLiteral("/"));
}

void Widget::on_pBtn_ReplaceExcelText_clicked()
{
    RunParameters parameters = RunParameters::Snapshot();
    parameters.justShow = ui->cBox_JustShow->checkState() == Qt::Checked;
    parameters.sourceFolder = ui->lEdt_SourcePath->text();
    parameters.findText = ui->lEdt_FindText->text();
    parameters.replaceText = ui->lEdt_ReplaceExcelText->text();
    if (!PrepareLaunch(parameters))
        return;
    RememberFolderInText(parameters.sourceFolder);
    StartRun(&Widget::pBtn_ReplaceExcelText_HasClicked, &ThreadObject::ReplaceExcelText);
}

void Widget::on_ShowDisposingFile(QString text)
{
    ui->lb_ShowDisposingFile->setText(text);
}

void Widget::on_Set_pBtn_Enable()
{
    SetRunButtonsEnabled(true);
}

void Widget::on_pBtn_ReplaceExcelText_2_clicked()
{
    RunParameters parameters = RunParameters::Snapshot();
    parameters.justShow = ui->cBox_JustShow->checkState() == Qt::Checked;
    parameters.sourceFolder = ui->lEdt_SourcePath->text();
    parameters.findText = ui->pTEdt_FindText->toPlainText();
    parameters.replaceText = ui->pTEdt_ReplaceExcelText->toPlainText();
    if (!RunLauncher::SplitPairs(parameters.findText, parameters.replaceText, &parameters.findLines,
                                 &parameters.replaceLines)) {
        QMessageBox::about(this, QString::fromUtf8(RunLauncher::kPairCountTitle),
                           QString::fromUtf8(RunLauncher::kPairCountMessage));
        return;
    }
    if (!PrepareLaunch(parameters))
        return;
    RememberFolderInText(parameters.sourceFolder);
    StartRun(&Widget::pBtn_ReplaceExcelText_2_HasClicked, &ThreadObject::ReplaceExcelText_2);
}

void Widget::on_cBox_JustShow_clicked()
{
    const char *value = ui->cBox_JustShow->checkState() == Qt::Checked ? "y" : "n";
    SetKeyValueInFileAndText(settingsFilePath, settingsText, "JustShow", value);
}

void Widget::on_pBtn_PageHeaderFooter_clicked()
{
    RunParameters parameters = RunParameters::Snapshot();
    parameters.sourceFolder = ui->lEdt_SourcePath->text();
    parameters.pageHeaderOn = true;
    parameters.pageFooterOn = false;
    parameters.pageHeaderFind = ui->lEdt_PageHeaderFind->text();
    parameters.pageHeaderText = ui->lEdt_PageHeader->text();
    parameters.pageHeaderPos = ui->cmBox_PageHeader->currentText();
    if (!PrepareLaunch(parameters))
        return;
    RememberFolderInFile(parameters.sourceFolder);
    StartRun(&Widget::pBtn_PageHeaderFooter_HasClicked, &ThreadObject::ReplacePageHeaderFooter);
}

void Widget::on_pBtn_PageFooter_clicked()
{
    RunParameters parameters = RunParameters::Snapshot();
    parameters.sourceFolder = ui->lEdt_SourcePath->text();
    parameters.pageHeaderOn = false;
    parameters.pageFooterOn = true;
    parameters.pageFooterFind = ui->lEdt_PageFooterFind->text();
    parameters.pageFooterText = ui->lEdt_PageFooter->text();
    parameters.pageFooterPos = ui->cmBox_PageFooter->currentText();
    if (!PrepareLaunch(parameters))
        return;
    RememberFolderInFile(parameters.sourceFolder);
    StartRun(&Widget::pBtn_PageFooter_HasClicked, &ThreadObject::ReplacePageHeaderFooter);
}

void Widget::on_pBtn_ReplaceShtName_clicked()
{
    RunParameters parameters = RunParameters::Snapshot();
    parameters.sourceFolder = ui->lEdt_SourcePath->text();
    parameters.shtNameFind = ui->lEdt_FindShtName->text();
    parameters.shtNameReplace = ui->lEdt_ReplaceShtName->text();
    parameters.appSheetOn = ui->cBox_AppSheet->isChecked();
    parameters.appSheetIndex = ui->sBox_AppSheet->value();
    if (!PrepareLaunch(parameters))
        return;
    RememberFolderInFile(parameters.sourceFolder);
    StartRun(&Widget::pBtn_ReplaceShtName_HasClicked, &ThreadObject::ReplaceShtName);
}

void Widget::on_pBtn_MustRead_clicked()
{
    QMessageBox::about(nullptr, QStringLiteral("注意"), UsageNotes());
}

void Widget::on_cBox_AppSheet_stateChanged(int arg1)
{
    const bool nthSheet = arg1 != 0;
    ui->lEdt_FindShtName->setEnabled(!nthSheet);
    ui->sBox_AppSheet->setEnabled(nthSheet);
    RunParameters::SetAppSheetOn(nthSheet);
}

bool Widget::PrepareLaunch(RunParameters &parameters)
{
    if (RunLauncher::PrepareRun(parameters))
        return true;
    ui->lb_ShowDisposingFile->setText(QString::fromUtf8(RunLauncher::kFolderMissingMessage));
    return false;
}

void Widget::RememberFolderInText(const QString &folder)
{
    const QByteArray value = folder.toLocal8Bit();
    SetKeyValue(settingsText, settingsText, "sourcePath", value.constData());
    SaveSettingsText(settingsFilePath, settingsText);
}

void Widget::RememberFolderInFile(const QString &folder)
{
    const QByteArray value = folder.toLocal8Bit();
    SetKeyValueInFileAndText(settingsFilePath, settingsText, "sourcePath", value.constData());
}

void Widget::StartRun(void (Widget::*trigger)(), void (ThreadObject::*run)())
{
    ui->lb_ShowDisposingFile->setText(QString());
    SetRunButtonsEnabled(false);
    RunLauncher::ReplaceWorker(workerThread, worker, this, trigger, run,
                               &Widget::on_ShowDisposingFile, &Widget::on_Set_pBtn_Enable);
}

void Widget::SetRunButtonsEnabled(bool enabled)
{
    ui->pBtn_ReplaceExcelText->setEnabled(enabled);
    ui->pBtn_ReplaceExcelText_2->setEnabled(enabled);
    ui->pBtn_PageHeaderFooter->setEnabled(enabled);
    ui->pBtn_PageFooter->setEnabled(enabled);
    ui->pBtn_ReplaceShtName->setEnabled(enabled);
}

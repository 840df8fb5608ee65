#pragma once

#include "support/settingsfile.h"

#include <QSystemTrayIcon>
#include <QWidget>

class QCloseEvent;
class QThread;
class SystemTray;
class ThreadObject;
struct RunParameters;

namespace Ui
{
class Widget;
}

// The program's only window: the form, its place on the screen, the remembered options and the
// answers to the tray icon.
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    void pBtn_ReplaceExcelText_HasClicked();
    void pBtn_ReplaceExcelText_2_HasClicked();
    void pBtn_PageHeaderFooter_HasClicked();
    void pBtn_PageFooter_HasClicked();
    void pBtn_ReplaceShtName_HasClicked();

public slots:
    void ShowWindow();
    void SystemTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void on_tabWidget_tabBarClicked(int index);
    void on_pBtn_SourcePath_clicked();
    void on_pBtn_ReplaceExcelText_clicked();
    void on_ShowDisposingFile(QString text);
    void on_Set_pBtn_Enable();
    void on_pBtn_ReplaceExcelText_2_clicked();
    void on_cBox_JustShow_clicked();
    void on_pBtn_PageHeaderFooter_clicked();
    void on_pBtn_PageFooter_clicked();
    void on_pBtn_ReplaceShtName_clicked();
    void on_pBtn_MustRead_clicked();
    void on_cBox_AppSheet_stateChanged(int arg1);

private:
    // Launch steps shared by the five run buttons.
    bool PrepareLaunch(RunParameters &parameters);
    void RememberFolderInText(const QString &folder);
    void RememberFolderInFile(const QString &folder);
    void StartRun(void (Widget::*trigger)(), void (ThreadObject::*run)());
    void SetRunButtonsEnabled(bool enabled);
    void CentreOnPrimaryDisplay();

    Ui::Widget *ui;
    int m_screenLeft = 0;
    int m_screenTop = 0;
    int screenWidth;
    int screenHeight;
    int normalHeight;
    int normalWidth;
    QThread *workerThread = nullptr;
    ThreadObject *worker = nullptr;
    // The settings file as loaded at start-up, kept current by every change the window saves.
    char settingsText[kSettingsTextSize] = {};
};

// The tray icon of the window built last.
extern SystemTray *tray;

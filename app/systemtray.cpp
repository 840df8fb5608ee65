#include "app/systemtray.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>

SystemTray::SystemTray(QObject *parent) : QSystemTrayIcon(parent)
{
    trayMenu = new QMenu;
    settingsAction = new QAction(QStringLiteral("软件设置"), this);
    quitAction = new QAction(QStringLiteral("退出程序"), this);
    trayMenu->addAction(settingsAction);
    trayMenu->addAction(quitAction);
    setContextMenu(trayMenu);
    setIcon(QIcon(QStringLiteral(":/images/vrn.ico")));
    setToolTip(QStringLiteral("Tessaromandel"));
    setVisible(true);
    connect(settingsAction, &QAction::triggered, this, &SystemTray::ShowUi, Qt::UniqueConnection);
    connect(quitAction, &QAction::triggered, this, &SystemTray::UiQuit, Qt::UniqueConnection);
}

// A parentless menu would outlive the application object; it goes with its icon instead.
SystemTray::~SystemTray()
{
    delete trayMenu;
}

void SystemTray::UiQuit()
{
    QCoreApplication::quit();
}

void SystemTray::ShowUi()
{
    emit showWidget();
}

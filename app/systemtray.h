#pragma once

#include <QSystemTrayIcon>

class QAction;
class QMenu;

// The notification-area icon: brings the window back and offers the way to quit.
class SystemTray : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit SystemTray(QObject *parent);
    ~SystemTray() override;

signals:
    void showWidget();

public slots:
    void UiQuit();
    void ShowUi();

private:
    QMenu *trayMenu;
    QAction *settingsAction;
    QAction *quitAction;
};

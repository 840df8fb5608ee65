#include "app/trayavailability.h"

#include <QSystemTrayIcon>

bool (*SystemTrayAvailable)() = &QSystemTrayIcon::isSystemTrayAvailable;

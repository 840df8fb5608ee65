#include "platform/display.h"

#include <QGuiApplication>
#include <QScreen>

DisplayGeometry SystemPrimaryDisplayGeometry()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0, 0, 0};
    const QRect geometry = screen->geometry();
    return {geometry.x(), geometry.y(), geometry.width(), geometry.height()};
}

DisplayGeometry (*PrimaryDisplayGeometry)() = &SystemPrimaryDisplayGeometry;

#include "platform/display.h"

#include <QGuiApplication>
#include <QScreen>

DisplaySize PrimaryDisplaySize()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0};
    const QSize size = screen->geometry().size();
    return {size.width(), size.height()};
}

#include "app/widget.h"

#include "app/startup.h"

#include <QIcon>
#include <cstring>

Widget::Widget(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLocal8Bit("Tessaromandel") + QString::fromLocal8Bit("5.1"));
    setWindowIcon(QIcon(":/images/vrn.ico"));
    resize(940, 620);
    if (std::strcmp(firstArgument, kAutorunArgument) != 0)
        show();
}

#pragma once

#include <QWidget>

// The program's only window.
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
};

#pragma once

#include <QObject>
#include <QString>

// The worker of one launch. It lives in a thread of its own; each slot is one whole run over
// the process-wide run parameters, of which it takes its own copy first.
class ThreadObject : public QObject
{
    Q_OBJECT

public:
    explicit ThreadObject(QObject *parent = nullptr);

signals:
    void ShowDisposingFile(QString filePath);
    void Set_pBtn_Enable();

public slots:
    void ReplaceExcelText();
    void ReplaceExcelText_2();
    void ReplacePageHeaderFooter();
    void ReplaceShtName();
};

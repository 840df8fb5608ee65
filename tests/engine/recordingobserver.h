#pragma once

#include "engine/runobserver.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

// Keeps what a run told, in order, as "counted N", "file P", "message T", "release",
// "report P".
class RecordingObserver : public RunObserver
{
public:
    void WorkbooksCounted(int count) override { add(QStringLiteral("counted %1").arg(count)); }
    void WorkbookTakenUp(const QString &path) override { add(QStringLiteral("file ") + path); }
    void WorkbookRefused(const QString &path, const QString &reason) override
    {
        add(QStringLiteral("refused ") + path + QStringLiteral(": ") + reason);
    }
    void ChangeRefused(const QString &path, const QString &sheet, const QString &reason) override
    {
        add(QStringLiteral("declined ") + path + QStringLiteral(" ") + sheet +
            QStringLiteral(": ") + reason);
    }
    void ShowMessage(const QString &text) override { add(QStringLiteral("message ") + text); }
    void RunButtonsReleased() override { add(QStringLiteral("release")); }
    void ReportWritten(const QString &path) override { add(QStringLiteral("report ") + path); }

    QStringList Events() const
    {
        QMutexLocker locker(&m_mutex);
        return m_events;
    }

private:
    void add(const QString &event)
    {
        QMutexLocker locker(&m_mutex);
        m_events << event;
    }
    mutable QMutex m_mutex;
    QStringList m_events;
};

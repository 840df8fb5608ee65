#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

// Answers every modal window that opens while it lives, so that a slot which runs a modal box
// or dialog returns in a test; counts the windows and keeps the last one's title.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> answer) : m_answer(std::move(answer))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::answerOpenModal);
        m_timer.start();
    }

    int count() const { return m_count; }
    QString lastTitle() const { return m_lastTitle; }

private:
    void answerOpenModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        ++m_count;
        m_lastTitle = modal->windowTitle();
        m_answer(modal);
    }

    std::function<void(QWidget *)> m_answer;
    QTimer m_timer;
    int m_count = 0;
    QString m_lastTitle;
};

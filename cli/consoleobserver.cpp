#include "cli/consoleobserver.h"

#include "engine/platformbridge.h"
#include "engine/visibletext.h"

namespace
{
const int kBarWidth = 30;
}

ConsoleObserver::ConsoleObserver(std::FILE *out, bool terminal, bool openReports, bool verbose,
                                 std::FILE *err)
    : m_out(out), m_err(err), m_terminal(terminal), m_openReports(openReports), m_verbose(verbose)
{
}

void ConsoleObserver::WorkbooksCounted(int count)
{
    m_total = count;
}

void ConsoleObserver::WorkbookTakenUp(const QString &givenPath)
{
    const QString path = VisibleText(givenPath);
    ++m_done;
    if (!m_terminal) {
        print(path + QLatin1Char('\n'));
        return;
    }
    const int filled = m_total > 0 ? m_done * kBarWidth / m_total : kBarWidth;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, '-');
    // Carriage return and erase-line redraw the bar in place.
    print(QStringLiteral("\r\033[K[") + bar + QStringLiteral("] ") + QString::number(m_done) +
          QLatin1Char('/') + QString::number(m_total) + QLatin1Char(' ') + path);
    m_progressShown = true;
}

void ConsoleObserver::WorkbookRefused(const QString &path, const QString &reason)
{
    if (!m_verbose)
        return;
    endProgressLine();
    print(QStringLiteral("  原因 Reason: ") + VisibleText(path) + QStringLiteral(": ") +
          VisibleText(reason) + QLatin1Char('\n'));
}

void ConsoleObserver::ChangeRefused(const QString &path, const QString &sheet,
                                    const QString &reason)
{
    if (!m_verbose)
        return;
    endProgressLine();
    print(QStringLiteral("  拒绝 Refused: ") + path + QStringLiteral(", sheet '") + sheet +
          QStringLiteral("': ") + reason + QLatin1Char('\n'));
}

void ConsoleObserver::ShowMessage(const QString &text)
{
    endProgressLine();
    print(text + QLatin1Char('\n'));
}

void ConsoleObserver::RunButtonsReleased()
{
    endProgressLine();
}

void ConsoleObserver::UndoKept(const QString &runId, int workbooks)
{
    // Named after the summaries and reports, by the command line.
    m_keptRun = runId;
    m_keptWorkbooks = workbooks;
}

void ConsoleObserver::ReportWritten(const QString &path)
{
    endProgressLine();
    print(QStringLiteral("报告 Report: ") + VisibleText(path) + QLatin1Char('\n'));
    if (m_openReports)
        PlatformBridge::ShowReport(path);
}

void ConsoleObserver::ReportNotWritten(const QString &path)
{
    endProgressLine();
    m_reportNotWritten = true;
    print(QStringLiteral("报告未写出 Report not written: ") + VisibleText(path) + QLatin1Char('\n'),
          m_err);
}

void ConsoleObserver::endProgressLine()
{
    if (m_progressShown)
        print(QStringLiteral("\n"));
    m_progressShown = false;
}

void ConsoleObserver::print(const QString &text, std::FILE *stream)
{
    if (!stream)
        stream = m_out;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

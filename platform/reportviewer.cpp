#include "platform/reportviewer.h"

#include <atomic>

namespace
{
std::atomic<ReportViewer> currentViewer{&SystemReportViewer};
}

void ShowReportFile(const char *reportPath)
{
    if (reportPath)
        currentViewer.load()(reportPath);
}

ReportViewer SetReportViewer(ReportViewer viewer)
{
    return currentViewer.exchange(viewer ? viewer : &SystemReportViewer);
}

#pragma once

// Shows a written report file to the user: Notepad on Windows, the desktop's default viewer
// (xdg-open) elsewhere, started detached. The path is a local 8-bit byte string.
using ReportViewer = void (*)(const char *reportPath);

// Shows the report with the current viewer.
void ShowReportFile(const char *reportPath);

// Replaces the viewer (tests install one that records instead of starting a program) and
// returns the previous one. Passing nullptr restores the system viewer.
ReportViewer SetReportViewer(ReportViewer viewer);

// The viewer of this platform.
void SystemReportViewer(const char *reportPath);

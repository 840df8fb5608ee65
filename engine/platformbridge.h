#pragma once

#include <QString>

// The file-system tests and the report viewer the engine takes from the support and platform
// layers, in one place.
namespace PlatformBridge
{

// Shows a report file; the path is a local 8-bit byte string with native separators.
using ReportViewer = void (*)(const char *reportPath);

// A file-system entry (file or folder) exists at the local 8-bit path.
bool PathExists(const char *localPath);
// The local 8-bit path names an existing folder, with or without one trailing separator.
bool DirectoryExists(const char *localPath);

// Shows a written report to the user without waiting for the viewer.
void ShowReport(const QString &path);

// Replaces the viewer process-wide (tests, so that no viewer is ever started) and returns the
// previous one; nullptr restores the system's own.
ReportViewer SetReportViewer(ReportViewer viewer);

} // namespace PlatformBridge

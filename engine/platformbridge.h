#pragma once

#include <QString>
#include <functional>

// The few file-system tests and the report viewer the engine needs from the layers beside it.
namespace PlatformBridge
{

// A file-system entry (file or folder) exists at the local 8-bit path.
bool PathExists(const char *localPath);
// The local 8-bit path names an existing folder, with or without one trailing separator.
bool DirectoryExists(const char *localPath);

// Shows a written report to the user without waiting for the viewer.
void ShowReport(const QString &path);

// Replaces the viewer process-wide (tests, so that no viewer is ever started); an empty
// function restores the system's own.
void SetReportViewer(std::function<void(const QString &)> viewer);

} // namespace PlatformBridge

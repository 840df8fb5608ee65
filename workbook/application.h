#pragma once

#include "workbook/error.h"

#include <QSet>
#include <QString>
#include <memory>
#include <vector>

namespace workbook
{

class Workbook;

// One per run. It owns every workbook opened through it (and, through them, every sheet,
// used range and page setup); Quit() or destruction releases them all, so pointers handed
// out stay valid until then, also after a workbook was closed.
class Application
{
public:
    Application();
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    // Opens the workbook at path. Returns null when the file cannot be opened; *error then
    // says why (what each layer expected and found). The file is never changed by opening;
    // the first open in a folder removes the temporaries that dead saves left there.
    Workbook *Open(const QString &path, Error *error = nullptr);
    // The same with the error as text ("damaged: ...").
    Workbook *Open(const QString &path, QString *reason);

    // Opens a workbook held in memory (tests, fuzzing). Save() of such a workbook writes the
    // new package to savedBytes() instead of a file.
    Workbook *OpenFromMemory(const QByteArray &bytes, Error *error = nullptr);
    Workbook *OpenFromMemory(const QByteArray &bytes, QString *reason);

    int workbookCount() const { return int(m_workbooks.size()); }

    // Closes every workbook without saving and releases every object obtained so far.
    void Quit();

private:
    std::vector<std::unique_ptr<Workbook>> m_workbooks;
    QSet<QString> m_cleanedFolders;
};

} // namespace workbook

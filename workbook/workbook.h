#pragma once

#include "workbook/error.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace workbook
{

class Document;
class Sheet;

// An open workbook. Sheets are numbered 1 to Count() in workbook order, hidden and very
// hidden ones included.
class Workbook
{
public:
    Workbook(std::unique_ptr<Document> document, const QString &path);
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    QString path() const { return m_path; }

    // 0 once the workbook is closed.
    int Count() const;
    // 1-based, as the automation server counts; null outside 1..Count().
    Sheet *Item(int index);

    // Writes the workbook back to its own path in its own format, atomically. A workbook
    // without changes is not written at all (and that counts as success). On failure the
    // file is untouched and *error says why.
    bool Save(Error *error = nullptr);
    // The same with the error as text ("I/O: ...").
    bool Save(QString *reason);

    // Discards unsaved changes and releases the workbook's data. The object stays valid
    // (owned by the application) but has no sheets any more.
    void Close();
    bool isClosed() const { return !m_document; }

    // Whether anything changed since opening or the last save.
    bool isModified() const;

    // For a workbook opened from memory: the package written by the last successful Save().
    QByteArray savedBytes() const { return m_savedBytes; }

    Document *document() const { return m_document.get(); }

private:
    std::unique_ptr<Document> m_document;
    QString m_path;
    QByteArray m_savedBytes;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
};

} // namespace workbook

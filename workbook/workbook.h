#pragma once

#include "platform/fileidentity.h"
#include "workbook/error.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace workbook
{

class ChangeListener;
class Document;
class Sheet;

// An open workbook. Sheets are numbered 1 to Count() in workbook order, hidden and very
// hidden ones included.
class Workbook
{
public:
    // identity: the file as it was read; a save replaces only that file, unchanged.
    Workbook(std::unique_ptr<Document> document, const QString &path,
             const FileIdentity &identity = FileIdentity());
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
    // file is untouched and *error says why. A file changed, replaced or made a link since
    // it was read is not written (kind ChangedWhileEditing); nor is one that another program
    // has open (kind InUse).
    bool Save(Error *error = nullptr);
    // The same with the error as text ("I/O: ...").
    bool Save(QString *reason);

    // Discards unsaved changes and releases the workbook's data. The object stays valid
    // (owned by the application) but has no sheets any more.
    void Close();
    bool isClosed() const { return !m_document; }

    // Whether anything changed since opening or the last save.
    bool isModified() const;

    // Why the workbook was given up while being worked on (out of memory, beyond a limit, its
    // file shortened under it);
    // empty while it is sound. A given-up workbook is closed: it has no sheets, and Save()
    // fails with this reason, so its file stays as it was.
    QString failure() const { return m_failure; }

    // Runs one call into the document; every call from the sheets, ranges and page setups
    // passes through here. An allocation failure, or a limit met, inside it gives the
    // workbook up (see failure()) instead of ending the program; false then, and when closed.
    bool guarded(const std::function<void(Document &)> &call);
    // Why the workbook has no document any more: given up (a limit met), or closed.
    Error givenUp() const;

    // For a workbook opened from memory: the package written by the last successful Save().
    QByteArray savedBytes() const { return m_savedBytes; }

    Document *document() const { return m_document.get(); }

    // Whom the workbook's sheets, used ranges and page setups tell of every change they make
    // or refuse (null: nobody); the listener must outlive the workbook or be unset first.
    void setChangeListener(ChangeListener *listener) { m_changeListener = listener; }
    ChangeListener *changeListener() const { return m_changeListener; }

private:
    void giveUp(const QString &reason, Error::Kind kind = Error::Kind::BeyondLimit);

    std::unique_ptr<Document> m_document;
    QString m_path;
    FileIdentity m_identity;
    QByteArray m_savedBytes;
    QString m_failure;
    Error::Kind m_failureKind = Error::Kind::BeyondLimit;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    ChangeListener *m_changeListener = nullptr;
};

} // namespace workbook

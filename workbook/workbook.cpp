#include "workbook/workbook.h"

#include "platform/atomicfile.h"
#include "workbook/document.h"
#include "workbook/ownerfile.h"
#include "workbook/sheet.h"

#include <new>
#include <stdexcept>

namespace workbook
{

Workbook::Workbook(std::unique_ptr<Document> document, const QString &path,
                   const FileIdentity &identity)
    : m_document(std::move(document)), m_path(path), m_identity(identity)
{
    const int count = m_document->sheetCount();
    m_sheets.reserve(count);
    for (int i = 0; i < count; ++i)
        m_sheets.push_back(std::make_unique<Sheet>(this, i));
}

Workbook::~Workbook() = default;

int Workbook::Count() const
{
    return m_document ? int(m_sheets.size()) : 0;
}

Sheet *Workbook::Item(int index)
{
    if (!m_document || index < 1 || index > int(m_sheets.size()))
        return nullptr;
    return m_sheets[index - 1].get();
}

bool Workbook::Save(Error *error)
{
    if (!m_document)
        return fail(error, givenUp().kind, givenUp().detail);
    if (!m_document->isModified())
        return true;
    if (!m_path.isEmpty()) {
        const QString owner = OwnerFile::besides(m_path);
        if (!owner.isEmpty())
            return fail(error, Error::Kind::InUse,
                        QStringLiteral("another program has it open (its owner file '%1' is "
                                       "beside it)")
                            .arg(owner));
    }
    Error why;
    bool written = false;
    const bool sound = guarded([&](Document &document) {
        std::function<bool(ByteSink &)> content;
        if (!document.prepareSave(&content, &why))
            return;
        QString atomicWhy;
        if (!m_path.isEmpty() &&
            !AtomicFile::Write(m_path, content, m_identity, &m_identity, &atomicWhy)) {
            const QString changed = QLatin1String(AtomicFile::kChangedWhileEditing);
            if (atomicWhy.startsWith(changed))
                why = Error{Error::Kind::ChangedWhileEditing,
                            atomicWhy.mid(changed.size()).remove(0, 2)};
            else
                why = Error{Error::Kind::Io, atomicWhy};
            return;
        }
        if (m_path.isEmpty()) {
            ByteArraySink sink;
            content(sink);
            m_savedBytes = sink.Bytes();
        }
        document.markSaved();
        written = true;
    });
    if (!sound)
        why = givenUp();
    if (!written && error)
        *error = why;
    return written;
}

bool Workbook::Save(QString *reason)
{
    Error error;
    const bool saved = Save(&error);
    if (!saved && reason)
        *reason = error.toString();
    return saved;
}

Error Workbook::givenUp() const
{
    if (m_failure.isEmpty())
        return Error{Error::Kind::Io, QStringLiteral("the workbook is closed")};
    // The reasons a workbook is given up for are limits met (memory, or its budget) and a
    // file shortened under the bytes read in place.
    const QString prefix = Error::kindName(m_failureKind) + QStringLiteral(": ");
    return Error{m_failureKind,
                 m_failure.startsWith(prefix) ? m_failure.mid(prefix.size()) : m_failure};
}

bool Workbook::guarded(const std::function<void(Document &)> &call)
{
    if (!m_document)
        return false;
    try {
        call(*m_document);
    } catch (const std::bad_alloc &) {
        giveUp(QStringLiteral("out of memory while working on the workbook (std::bad_alloc)"));
        return false;
    } catch (const std::length_error &e) {
        giveUp(QStringLiteral("out of memory while working on the workbook (a size beyond what "
                              "can be held: %1)")
                   .arg(QString::fromLatin1(e.what())));
        return false;
    }
    if (m_document->lostSource()) {
        giveUp(Error{Error::Kind::ChangedWhileEditing,
                     QStringLiteral("the file was shortened while it was being read")}
                   .toString(),
               Error::Kind::ChangedWhileEditing);
        return false;
    }
    const QString failure = m_document->failure();
    if (!failure.isEmpty()) {
        giveUp(failure);
        return false;
    }
    return true;
}

void Workbook::giveUp(const QString &reason, Error::Kind kind)
{
    m_failure = reason;
    m_failureKind = kind;
    // Whatever the document held is released now, before the next workbook needs the room.
    m_document.reset();
}

void Workbook::Close()
{
    // Sheets stay allocated (callers may still hold them); without the document they answer
    // with empty results and refuse every change.
    m_document.reset();
}

bool Workbook::isModified() const
{
    return m_document && m_document->isModified();
}

} // namespace workbook

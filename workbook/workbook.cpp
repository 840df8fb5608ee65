#include "workbook/workbook.h"

#include "workbook/atomicfile.h"
#include "workbook/document.h"
#include "workbook/ownerfile.h"
#include "workbook/sheet.h"

namespace workbook
{

Workbook::Workbook(std::unique_ptr<Document> document, const QString &path)
    : m_document(std::move(document)), m_path(path)
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

bool Workbook::Save(QString *reason)
{
    if (!m_document) {
        if (reason)
            *reason = QStringLiteral("the workbook is closed");
        return false;
    }
    if (!m_document->isModified())
        return true;
    if (!m_path.isEmpty()) {
        const QString owner = OwnerFile::besides(m_path);
        if (!owner.isEmpty()) {
            if (reason)
                *reason = QStringLiteral("in use: another program has it open (its owner file "
                                         "'%1' is beside it)")
                              .arg(owner);
            return false;
        }
    }
    QByteArray bytes;
    QString why;
    if (!m_document->serialize(&bytes, &why) ||
        (!m_path.isEmpty() && !AtomicFile::write(m_path, bytes, &why))) {
        if (reason)
            *reason = why;
        return false;
    }
    if (m_path.isEmpty())
        m_savedBytes = bytes;
    m_document->markSaved();
    return true;
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

#pragma once

#include "workbook/edit/cellsink.h"
#include "workbook/edit/cellsource.h"
#include "workbook/ooxml/cellreader.h"
#include "workbook/xml/splicer.h"

#include <QByteArray>
#include <memory>

namespace workbook::ooxml
{

// The cells of one worksheet or macro sheet part, read in place (nothing is decoded until the
// rules ask for it) and changed by splicing new <c> elements into the part's bytes.
class SheetEditor : public edit::CellSource, public edit::CellSink
{
public:
    explicit SheetEditor(const QByteArray &xml);
    ~SheetEditor() override;

    bool next(edit::SourceCell *cell) override;
    bool failed() const override;
    Error error() const override;
    void restart() override;
    bool number(double *out) const override;
    int sharedString() const override;
    bool text(QString *out) const override;
    bool inlineText(edit::FormattedText *out) const override;
    bool storedExactly() const override;

    void setEmpty() override;
    void setText(const QString &text) override;
    void setFormattedText(const edit::FormattedText &text) override;
    void setNumber(double value) override;
    void setBoolean(bool value) override;
    void setError(const QString &value) override;
    void setFormula(const QString &formula, bool keepArray) override;
    void keepOwnFormula(const QString &formula) override;
    int rememberCell() override;
    void setFormattedTextOf(int cell, const edit::FormattedText &text) override;

    // The part with every change spliced in, made in the memory of the bytes the editor was
    // given (copied only when something else still holds them); false (and *error) when it
    // cannot be made. The editor is done with afterwards: it reads nothing more.
    bool changedPart(QByteArray *out, Error *error);
    // True once the changes would make the part larger than setMaxPartSize allows.
    bool overflowed() const override { return m_splicer.tooLarge(); }
    // The changed part may not grow beyond this; the changes stop being collected as soon as
    // it would (tooLarge()).
    void setMaxPartSize(qint64 bytes) { m_splicer.setLimit(qsizetype(qMax<qint64>(bytes, 0))); }
    bool tooLarge() const { return m_splicer.tooLarge(); }

private:
    // What replacing a whole <c> element needs of it.
    struct CellPlace {
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype startTagEnd = 0;
        qsizetype typeAttributeBegin = -1;
        qsizetype typeAttributeEnd = -1;
        xml::ByteSpan prefix;
    };
    static CellPlace placeOf(const Cell &c);
    void replaceCell(const CellPlace &place, const char *type, const QByteArray &children);
    void replaceCell(const char *type, const QByteArray &children)
    {
        replaceCell(placeOf(m_cell), type, children);
    }

    QByteArray m_xml;
    std::unique_ptr<CellReader> m_reader;
    Cell m_cell;
    std::vector<CellPlace> m_remembered;
    xml::Splicer m_splicer;
};

} // namespace workbook::ooxml

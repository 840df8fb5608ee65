#pragma once

#include "platform/bytesink.h"
#include "platform/filecontent.h"
#include "workbook/error.h"
#include "workbook/gridlimits.h"
#include "workbook/pagesetup.h"
#include "workbook/sheetkind.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace workbook
{

namespace edit
{
class CellChangeListener;
}
namespace text
{
class PatternSet;
}

// What one file format's backend provides behind the format-neutral object model. Sheet
// indexes are 0-based here; the public classes translate.
class Document
{
public:
    virtual ~Document() = default;

    // The file whose bytes the document reads in place, kept as long as the document: the
    // base's members outlive every view a backend holds.
    void keepSource(std::shared_ptr<const FileContent> source) { m_source = std::move(source); }
    // Whether those bytes vanished under the document (the file was shortened since it was
    // opened): what was read from them cannot be trusted.
    bool lostSource() const { return m_source && m_source->WasTruncated(); }
    // Those bytes, or null when the document holds its own.
    const FileContent *source() const { return m_source.get(); }

    virtual int sheetCount() const = 0;
    virtual QString sheetName(int sheet) const = 0;
    virtual SheetKind sheetKind(int sheet) const = 0;
    virtual SheetVisibility sheetVisibility(int sheet) const = 0;
    // The rows and columns this format's sheets hold.
    virtual GridLimits gridLimits() const = 0;
    // Gives the sheet a name the front has already checked against the naming rules, and
    // rewrites every reference to the old one. False with *error set when the workbook could
    // not be kept consistent; everything then stays as it was.
    virtual bool renameSheet(int sheet, const QString &name, Error *error) = 0;

    // Whether a cell matches; false with *error set when the sheet could not be read.
    virtual bool find(int sheet, const QString &what, Error *error) = 0;
    // Which of the set's patterns from `from` on may match a cell of the sheet, in one pass;
    // those left out certainly find nothing there. False when that cannot be told (the sheet
    // could not be read, or a backend that cannot tell): every pattern must then be tried.
    virtual bool mayMatch(int sheet, const text::PatternSet &set, int from, std::vector<bool> *hits)
    {
        (void)sheet;
        (void)set;
        (void)from;
        (void)hits;
        return false;
    }
    // Whether a cell changed; false with *error set when the sheet could not be read or the
    // change not be stored (the sheet then stays as it was).
    virtual bool replace(int sheet, const QString &what, const QString &with, Error *error) = 0;

    // The stored default (odd-page) header or footer, formatting codes and all; false with
    // *error set when it could not be read.
    virtual bool headerFooter(int sheet, bool footer, QString *text, Error *error) const = 0;
    // Stores it as given (an empty text removes it); false with *error set when it could not.
    virtual bool setHeaderFooter(int sheet, bool footer, const QString &text, Error *error) = 0;

    virtual bool isModified() const = 0;
    // Grows with every change of the content, so a remembered search result knows whether it
    // still holds.
    virtual quint64 changeCount() const = 0;
    // Builds the new file content; false with *error set when it cannot.
    virtual bool serialize(QByteArray *out, Error *error) = 0;
    // The new file content made ready to be written: every check that can refuse it is made
    // here; *content then hands it to a sink in order, failing only when the sink does, and
    // holds until the document next changes. By default it is made whole by serialize(); a
    // backend that can hands it over in pieces instead, never whole in memory.
    virtual bool prepareSave(std::function<bool(ByteSink &)> *content, Error *error)
    {
        auto bytes = std::make_shared<QByteArray>();
        if (!serialize(bytes.get(), error))
            return false;
        *content = [bytes](ByteSink &sink) {
            return sink.Write(bytes->constData(), bytes->size());
        };
        return true;
    }
    // Called after the new content was durably written.
    virtual void markSaved() = 0;
    // Why the document was given up (beyond a limit while being worked on); empty while it
    // is sound. A given-up document must be dropped: it is neither searched nor written.
    virtual QString failure() const { return QString(); }

    // Whom replace() tells of each cell it changes or leaves alone; set by the front for the
    // length of one call, null otherwise.
    void setCellListener(edit::CellChangeListener *listener) { m_cellListener = listener; }
    edit::CellChangeListener *cellListener() const { return m_cellListener; }

private:
    edit::CellChangeListener *m_cellListener = nullptr;

private:
    std::shared_ptr<const FileContent> m_source;
};

} // namespace workbook

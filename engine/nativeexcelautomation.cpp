#include "engine/nativeexcelautomation.h"

#include "workbook/application.h"
#include "workbook/changelistener.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <unordered_map>

namespace
{

using Field = ExcelAutomation::PageSetupField;

workbook::HeaderFooterSection sectionFor(Field field)
{
    switch (field) {
    case Field::LeftHeader:
        return workbook::HeaderFooterSection::LeftHeader;
    case Field::CenterHeader:
        return workbook::HeaderFooterSection::CenterHeader;
    case Field::RightHeader:
        return workbook::HeaderFooterSection::RightHeader;
    case Field::LeftFooter:
        return workbook::HeaderFooterSection::LeftFooter;
    case Field::CenterFooter:
        return workbook::HeaderFooterSection::CenterFooter;
    case Field::RightFooter:
        break;
    }
    return workbook::HeaderFooterSection::RightFooter;
}

using Reason = ExcelAutomation::Reason;

// A value the rules refused leaves the workbook sound; every other kind means a sheet that
// could not be read or changed.
void pass(const workbook::Error &error, Reason *reason)
{
    if (!error.isSet() || !reason)
        return;
    reason->kind = error.kind == workbook::Error::Kind::Rejected ? Reason::Kind::Refused
                                                                 : Reason::Kind::Failed;
    reason->text = error.toString();
}

class NativeRange : public ExcelAutomation::Range
{
public:
    explicit NativeRange(workbook::UsedRange *range) : m_range(range) {}
    bool Find(const QString &what, Reason *reason) override
    {
        workbook::Error error;
        const bool hit = m_range->Find(what, &error);
        pass(error, reason);
        return hit;
    }
    void Replace(const QString &what, const QString &replacement, Reason *reason) override
    {
        workbook::Error error;
        m_range->Replace(what, replacement, &error);
        pass(error, reason);
    }
    void ReplacePairs(const QStringList &what, const QStringList &replacements, bool justShow,
                      bool *matched, Reason *reason) override
    {
        workbook::Error error;
        m_range->ReplacePairs(what, replacements, justShow, matched, &error);
        pass(error, reason);
    }

private:
    workbook::UsedRange *m_range;
};

class NativePageSetup : public ExcelAutomation::PageSetup
{
public:
    explicit NativePageSetup(workbook::PageSetup *pageSetup) : m_pageSetup(pageSetup) {}
    QString Text(Field field, Reason *reason) override
    {
        workbook::Error error;
        const QString text = m_pageSetup->section(sectionFor(field), &error);
        pass(error, reason);
        return text;
    }
    bool SetText(Field field, const QString &text, Reason *reason) override
    {
        workbook::Error error;
        const bool set = m_pageSetup->setSection(sectionFor(field), text, &error);
        pass(error, reason);
        return set;
    }

private:
    workbook::PageSetup *m_pageSetup;
};

// The server's objects stay valid until its application quits; one adapter is kept per
// object, for as long, so repeated queries hand out the same pointer.
struct Adapters {
    std::unordered_map<const void *, std::unique_ptr<ExcelAutomation::Range>> ranges;
    std::unordered_map<const void *, std::unique_ptr<ExcelAutomation::PageSetup>> pageSetups;
    std::unordered_map<const void *, std::unique_ptr<ExcelAutomation::Sheet>> sheets;
    std::unordered_map<const void *, std::unique_ptr<ExcelAutomation::Sheets>> sheetLists;
    std::unordered_map<const void *, std::unique_ptr<ExcelAutomation::Workbook>> workbooks;

    template <typename Adapter, typename Map, typename Object> Adapter *of(Map &map, Object *object)
    {
        if (!object)
            return nullptr;
        auto &slot = map[object];
        if (!slot)
            slot = std::make_unique<Adapter>(object, *this);
        return static_cast<Adapter *>(slot.get());
    }
};

class NativeSheet : public ExcelAutomation::Sheet
{
public:
    NativeSheet(workbook::Sheet *sheet, Adapters &adapters) : m_sheet(sheet), m_adapters(adapters)
    {
    }
    ExcelAutomation::Range *UsedRange() override
    {
        workbook::UsedRange *range = m_sheet->usedRange();
        if (!range)
            return nullptr;
        auto &slot = m_adapters.ranges[range];
        if (!slot)
            slot = std::make_unique<NativeRange>(range);
        return slot.get();
    }
    QString Name() override { return m_sheet->Name(); }
    bool SetName(const QString &name, Reason *reason) override
    {
        workbook::Error error;
        const bool set = m_sheet->SetName(name, &error);
        pass(error, reason);
        return set;
    }
    ExcelAutomation::PageSetup *GetPageSetup() override
    {
        workbook::PageSetup *pageSetup = m_sheet->pageSetup();
        if (!pageSetup)
            return nullptr;
        auto &slot = m_adapters.pageSetups[pageSetup];
        if (!slot)
            slot = std::make_unique<NativePageSetup>(pageSetup);
        return slot.get();
    }

private:
    workbook::Sheet *m_sheet;
    Adapters &m_adapters;
};

// The server has no sheets collection of its own; its workbook numbers the sheets.
class NativeSheets : public ExcelAutomation::Sheets
{
public:
    NativeSheets(workbook::Workbook *workbook, Adapters &adapters)
        : m_workbook(workbook), m_adapters(adapters)
    {
    }
    int Count() override { return m_workbook->Count(); }
    ExcelAutomation::Sheet *Item(int index) override
    {
        return m_adapters.of<NativeSheet>(m_adapters.sheets, m_workbook->Item(index));
    }

private:
    workbook::Workbook *m_workbook;
    Adapters &m_adapters;
};

Field fieldFor(workbook::HeaderFooterSection section)
{
    switch (section) {
    case workbook::HeaderFooterSection::LeftHeader:
        return Field::LeftHeader;
    case workbook::HeaderFooterSection::CenterHeader:
        return Field::CenterHeader;
    case workbook::HeaderFooterSection::RightHeader:
        return Field::RightHeader;
    case workbook::HeaderFooterSection::LeftFooter:
        return Field::LeftFooter;
    case workbook::HeaderFooterSection::CenterFooter:
        return Field::CenterFooter;
    case workbook::HeaderFooterSection::RightFooter:
        break;
    }
    return Field::RightFooter;
}

// The server's changes, told in the seam's terms.
class ChangeRelay : public workbook::ChangeListener
{
public:
    explicit ChangeRelay(ExcelAutomation::ChangeListener &listener) : m_listener(listener) {}
    void changed(const workbook::Change &change) override
    {
        using Where = ExcelAutomation::Change::Where;
        ExcelAutomation::Change told;
        switch (change.where) {
        case workbook::Change::Where::Cell:
            told.where = Where::Cell;
            break;
        case workbook::Change::Where::HeaderFooter:
            told.where = Where::HeaderFooter;
            break;
        case workbook::Change::Where::SheetName:
            told.where = Where::SheetName;
            break;
        }
        told.sheet = change.sheet;
        told.row = change.row;
        told.column = change.column;
        told.field = fieldFor(change.section);
        told.before = change.before;
        told.after = change.after;
        told.leftBecause = change.leftBecause;
        m_listener.Changed(told);
    }

private:
    ExcelAutomation::ChangeListener &m_listener;
};

class NativeWorkbook : public ExcelAutomation::Workbook
{
public:
    ~NativeWorkbook() override { m_workbook->setChangeListener(nullptr); }
    NativeWorkbook(workbook::Workbook *workbook, Adapters &adapters)
        : m_workbook(workbook), m_adapters(adapters)
    {
    }
    ExcelAutomation::Sheets *GetSheets() override
    {
        return m_adapters.of<NativeSheets>(m_adapters.sheetLists, m_workbook);
    }
    bool Save(QString *reason) override { return m_workbook->Save(reason); }
    // Closing never writes: a save is always asked for by name.
    void Close(bool) override { m_workbook->Close(); }
    QString Failure() override { return m_workbook->failure(); }
    bool SetChangeListener(ExcelAutomation::ChangeListener *listener) override
    {
        m_relay.reset(listener ? new ChangeRelay(*listener) : nullptr);
        m_workbook->setChangeListener(m_relay.get());
        return true;
    }

private:
    workbook::Workbook *m_workbook;
    Adapters &m_adapters;
    std::unique_ptr<ChangeRelay> m_relay;
};

class NativeApplication : public ExcelAutomation::Application, public ExcelAutomation::Workbooks
{
public:
    ~NativeApplication() override
    {
        // Adapters first: they point into the server's objects.
        m_adapters = Adapters();
    }
    // The server has no window and asks nothing.
    void SetVisible(bool) override {}
    void SetDisplayAlerts(bool) override {}
    ExcelAutomation::Workbooks *GetWorkbooks() override { return this; }
    void Quit() override
    {
        m_adapters = Adapters();
        m_application.Quit();
    }

    ExcelAutomation::Workbook *Open(const QString &nativePath, QString *reason) override
    {
        return m_adapters.of<NativeWorkbook>(m_adapters.workbooks,
                                             m_application.Open(nativePath, reason));
    }

private:
    workbook::Application m_application;
    Adapters m_adapters;
};

} // namespace

std::unique_ptr<ExcelAutomation::Application> NativeExcelAutomation::Start()
{
    return std::make_unique<NativeApplication>();
}

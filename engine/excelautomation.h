#pragma once

#include <QString>
#include <QStringList>
#include <memory>

// The one seam between the runs and whatever serves workbooks: the native workbook server by
// default, Excel's automation server on a Windows build that adds one. The object shape follows
// the automation server so the runs read the same either way. Every object handed out is owned
// by the object it came from and lives until the Application is destroyed; the runs never
// delete them. A null result means "not there" (see each operation).
class ExcelAutomation
{
public:
    enum class PageSetupField {
        LeftHeader,
        CenterHeader,
        RightHeader,
        LeftFooter,
        CenterFooter,
        RightFooter
    };

    // Why a call did not do what was asked. Every call that takes one may leave it as it is
    // (a server that cannot tell, such as a COM one, does); the runs then go by the result.
    struct Reason {
        enum class Kind {
            None,
            // The server's rules refused the value (a sheet name); the object keeps its old
            // one and the workbook stays sound.
            Refused,
            // The sheet could not be read or changed (malformed, beyond a limit, a change the
            // format cannot store): the workbook must not be saved.
            Failed
        };
        Kind kind = Kind::None;
        QString text;

        bool IsFailure() const { return kind == Kind::Failed; }
    };

    // One thing a run did, or would have done, to what a user sees, as the server tells it.
    struct Change {
        enum class Where { Cell, HeaderFooter, SheetName };
        Where where = Where::Cell;
        // The sheet's name when the change was asked for.
        QString sheet;
        // A cell, 1-based.
        int row = 0;
        int column = 0;
        PageSetupField field = PageSetupField::CenterHeader;
        QString before;
        // What it became, or what it would have become.
        QString after;
        // Empty when the change was made; otherwise why it was left as it was.
        QString leftBecause;
    };

    class ChangeListener
    {
    public:
        virtual ~ChangeListener() = default;
        virtual void Changed(const Change &change) = 0;
    };

    class Range
    {
    public:
        virtual ~Range() = default;
        // Whether anything in the range matches: a hit, a miss, or a miss with *reason set
        // (Failed) when the range could not be read.
        virtual bool Find(const QString &what, Reason *reason) = 0;
        // *reason is set (Failed) when the range could not be read or changed.
        virtual void Replace(const QString &what, const QString &replacement, Reason *reason) = 0;
        // The pairs in order, as Find (while nothing has hit; a hit sets *matched) and then
        // Replace (unless justShow) of each pair would do them, stopping at the first call
        // that failed, with *reason set. A server may rule out in one pass the pairs that
        // cannot match; this one tries each.
        virtual void ReplacePairs(const QStringList &what, const QStringList &replacements,
                                  bool justShow, bool *matched, Reason *reason);
    };

    class PageSetup
    {
    public:
        virtual ~PageSetup() = default;
        // Empty with *reason set (Failed) when the text could not be read.
        virtual QString Text(PageSetupField field, Reason *reason) = 0;
        // False when the server refused the text; the sheet then keeps its old one, and
        // *reason may say why.
        virtual bool SetText(PageSetupField field, const QString &text, Reason *reason) = 0;
    };

    class Sheet
    {
    public:
        virtual ~Sheet() = default;
        // Null for a sheet without cells of its own (a chart or dialog sheet).
        virtual Range *UsedRange() = 0;
        virtual QString Name() = 0;
        // False when the server refused the name; the sheet then keeps its old one, and
        // *reason may say why.
        virtual bool SetName(const QString &name, Reason *reason) = 0;
        // Null when the sheet has no page setup.
        virtual PageSetup *GetPageSetup() = 0;
    };

    class Sheets
    {
    public:
        virtual ~Sheets() = default;
        // An unreadable count reads as 0.
        virtual int Count() = 0;
        // 1-based; null for an index the server cannot serve.
        virtual Sheet *Item(int index) = 0;
    };

    class Workbook
    {
    public:
        virtual ~Workbook() = default;
        // Null when the workbook's sheets cannot be listed.
        virtual Sheets *GetSheets() = 0;
        // False when the workbook could not be written back; *reason then says why.
        virtual bool Save(QString *reason) = 0;
        virtual void Close(bool saveChanges) = 0;
        // Why the server gave this workbook up while it was being worked on (out of memory,
        // beyond a limit); empty while it is sound. A given-up workbook has no sheets left and
        // cannot be saved: its file stays as it was.
        virtual QString Failure() { return QString(); }
        // Asks the server to tell listener (null: nobody) of every change made to this
        // workbook from now on, with its text before and after. False when the server cannot
        // (a COM one); the runs then have no change log for it.
        virtual bool SetChangeListener(ChangeListener *listener)
        {
            Q_UNUSED(listener)
            return false;
        }
    };

    class Workbooks
    {
    public:
        virtual ~Workbooks() = default;
        // Null when the file cannot be opened (the file is then left untouched); *reason then
        // says why.
        virtual Workbook *Open(const QString &nativePath, QString *reason) = 0;
    };

    class Application
    {
    public:
        virtual ~Application() = default;
        virtual void SetVisible(bool visible) = 0;
        virtual void SetDisplayAlerts(bool displayAlerts) = 0;
        // Null when the server cannot serve workbooks.
        virtual Workbooks *GetWorkbooks() = 0;
        // Ends the server; destroying the Application afterwards releases every object.
        virtual void Quit() = 0;
    };

    virtual ~ExcelAutomation() = default;

    // Called on the worker thread at the start of every run; null when no server can be
    // started. Implementations must allow calls from any thread.
    virtual std::unique_ptr<Application> Start() = 0;
    // Whether several Applications, each used by one thread, may work at once (a run then
    // works on several workbooks at a time). Not so for an automation server that runs one
    // workbook at a time, such as Excel's.
    virtual bool SupportsParallelWorkbooks() const { return false; }

    // The server every run uses. Without one installed, runs end with a message.
    static std::shared_ptr<ExcelAutomation> Current();
    static void SetCurrent(std::shared_ptr<ExcelAutomation> automation);
};

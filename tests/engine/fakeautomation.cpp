#include "tests/engine/fakeautomation.h"

#include <QFile>
#include <QMutexLocker>
#include <QTextStream>
#include <memory>
#include <vector>

namespace
{

using Field = ExcelAutomation::PageSetupField;
using Reason = ExcelAutomation::Reason;
const Field kFields[] = {Field::LeftHeader, Field::CenterHeader, Field::RightHeader,
                         Field::LeftFooter, Field::CenterFooter, Field::RightFooter};

struct SheetData {
    QString name;
    QStringList cells;
    QMap<QString, QString> page;
    bool hasUsedRange = true;
    bool hasPageSetup = true;
    bool unreadable = false;
};

const char kUnreadable[] = "damaged: sheet cells: malformed";

// True (and *reason set) when the sheet cannot be served.
bool failsOn(const SheetData &sheet, ExcelAutomation::Reason *reason)
{
    if (!sheet.unreadable)
        return false;
    reason->kind = ExcelAutomation::Reason::Kind::Failed;
    reason->text = QLatin1String(kUnreadable);
    return true;
}

struct BookData {
    QString path;
    QList<SheetData> sheets;
    bool refuseSave = false;
};

bool loadBook(const QString &path, BookData *book)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.first() != QLatin1String("FAKEBOOK"))
        return false;
    book->path = path;
    for (const QString &line : lines.mid(1)) {
        if (line.startsWith(QLatin1String("sheet "))) {
            book->sheets.append(SheetData());
            book->sheets.last().name = line.mid(6);
        } else if (line == QLatin1String("refusesave")) {
            book->refuseSave = true;
        } else if (book->sheets.isEmpty()) {
            continue;
        } else if (line.startsWith(QLatin1String("cell "))) {
            book->sheets.last().cells << line.mid(5);
        } else if (line.startsWith(QLatin1String("page "))) {
            const int equals = line.indexOf(QLatin1Char('='));
            book->sheets.last().page[line.mid(5, equals - 5)] = line.mid(equals + 1);
        } else if (line == QLatin1String("nousedrange")) {
            book->sheets.last().hasUsedRange = false;
        } else if (line == QLatin1String("nopagesetup")) {
            book->sheets.last().hasPageSetup = false;
        } else if (line == QLatin1String("unreadable")) {
            book->sheets.last().unreadable = true;
        }
    }
    return true;
}

QByteArray serialize(const BookData &book)
{
    QString text = QStringLiteral("FAKEBOOK\n");
    if (book.refuseSave)
        text += QStringLiteral("refusesave\n");
    for (const SheetData &sheet : book.sheets) {
        text += QStringLiteral("sheet ") + sheet.name + QLatin1Char('\n');
        for (const QString &cell : sheet.cells)
            text += QStringLiteral("cell ") + cell + QLatin1Char('\n');
        for (auto it = sheet.page.cbegin(); it != sheet.page.cend(); ++it)
            text += QStringLiteral("page ") + it.key() + QLatin1Char('=') + it.value() + '\n';
        if (!sheet.hasUsedRange)
            text += QStringLiteral("nousedrange\n");
        if (!sheet.hasPageSetup)
            text += QStringLiteral("nopagesetup\n");
        if (sheet.unreadable)
            text += QStringLiteral("unreadable\n");
    }
    return text.toUtf8();
}

class FakeRange : public ExcelAutomation::Range
{
public:
    FakeRange(FakeAutomation &log, SheetData &sheet) : m_log(log), m_sheet(sheet) {}
    bool Find(const QString &what, Reason *reason) override
    {
        m_log.Record(QStringLiteral("Find ") + m_sheet.name + QLatin1Char(' ') + what);
        if (what.isEmpty() || failsOn(m_sheet, reason))
            return false;
        for (const QString &cell : m_sheet.cells)
            if (cell.contains(what))
                return true;
        return false;
    }
    void Replace(const QString &what, const QString &replacement, Reason *reason) override
    {
        m_log.Record(QStringLiteral("Replace ") + m_sheet.name + QLatin1Char(' ') + what +
                     QLatin1Char(' ') + replacement);
        if (what.isEmpty() || failsOn(m_sheet, reason))
            return;
        for (QString &cell : m_sheet.cells)
            cell.replace(what, replacement);
    }

private:
    FakeAutomation &m_log;
    SheetData &m_sheet;
};

class FakePageSetup : public ExcelAutomation::PageSetup
{
public:
    FakePageSetup(FakeAutomation &log, SheetData &sheet) : m_log(log), m_sheet(sheet) {}
    QString Text(Field field, Reason *reason) override
    {
        const QString name = FakeAutomation::FieldName(field);
        m_log.Record(QStringLiteral("Text ") + m_sheet.name + QLatin1Char(' ') + name);
        if (failsOn(m_sheet, reason))
            return QString();
        return m_sheet.page.value(name);
    }
    bool SetText(Field field, const QString &text, Reason *reason) override
    {
        const QString name = FakeAutomation::FieldName(field);
        m_log.Record(QStringLiteral("SetText ") + m_sheet.name + QLatin1Char(' ') + name +
                     QLatin1Char('=') + text);
        if (failsOn(m_sheet, reason))
            return false;
        m_sheet.page[name] = text;
        return true;
    }

private:
    FakeAutomation &m_log;
    SheetData &m_sheet;
};

// Every object handed out is kept here until the application goes.
struct Arena {
    std::vector<std::unique_ptr<BookData>> books;
    std::vector<std::unique_ptr<ExcelAutomation::Range>> ranges;
    std::vector<std::unique_ptr<ExcelAutomation::PageSetup>> pageSetups;
    std::vector<std::unique_ptr<ExcelAutomation::Sheet>> sheets;
    std::vector<std::unique_ptr<ExcelAutomation::Sheets>> sheetLists;
    std::vector<std::unique_ptr<ExcelAutomation::Workbook>> workbooks;
};

class FakeSheet : public ExcelAutomation::Sheet
{
public:
    FakeSheet(FakeAutomation &log, Arena &arena, BookData &book, int index)
        : m_log(log), m_arena(arena), m_book(book), m_index(index)
    {
    }
    SheetData &data() { return m_book.sheets[m_index]; }
    ExcelAutomation::Range *UsedRange() override
    {
        m_log.Record(QStringLiteral("UsedRange ") + data().name);
        if (!data().hasUsedRange)
            return nullptr;
        m_arena.ranges.push_back(std::make_unique<FakeRange>(m_log, data()));
        return m_arena.ranges.back().get();
    }
    QString Name() override
    {
        m_log.Record(QStringLiteral("Name ") + data().name);
        return data().name;
    }
    bool SetName(const QString &name, Reason *reason) override
    {
        m_log.Record(QStringLiteral("SetName ") + data().name + QLatin1Char('=') + name);
        if (failsOn(data(), reason))
            return false;
        static const QString forbidden = QStringLiteral(":\\/?*[]");
        bool refused = name.isEmpty() || name.size() > 31;
        for (const QChar c : name)
            refused = refused || forbidden.contains(c);
        for (int other = 0; other < m_book.sheets.size(); ++other)
            refused = refused || (other != m_index && m_book.sheets[other].name.compare(
                                                          name, Qt::CaseInsensitive) == 0);
        if (refused) {
            reason->kind = Reason::Kind::Refused;
            reason->text = QStringLiteral("rejected: name '%1'").arg(name);
            return false;
        }
        data().name = name;
        return true;
    }
    ExcelAutomation::PageSetup *GetPageSetup() override
    {
        m_log.Record(QStringLiteral("PageSetup ") + data().name);
        if (!data().hasPageSetup)
            return nullptr;
        m_arena.pageSetups.push_back(std::make_unique<FakePageSetup>(m_log, data()));
        return m_arena.pageSetups.back().get();
    }

private:
    FakeAutomation &m_log;
    Arena &m_arena;
    BookData &m_book;
    int m_index;
};

class FakeSheets : public ExcelAutomation::Sheets
{
public:
    FakeSheets(FakeAutomation &log, Arena &arena, BookData &book)
        : m_log(log), m_arena(arena), m_book(book)
    {
    }
    int Count() override
    {
        m_log.Record(QStringLiteral("Count"));
        return m_book.sheets.size();
    }
    ExcelAutomation::Sheet *Item(int index) override
    {
        m_log.Record(QStringLiteral("Item ") + QString::number(index));
        if (index < 1 || index > m_book.sheets.size())
            return nullptr;
        m_arena.sheets.push_back(std::make_unique<FakeSheet>(m_log, m_arena, m_book, index - 1));
        return m_arena.sheets.back().get();
    }

private:
    FakeAutomation &m_log;
    Arena &m_arena;
    BookData &m_book;
};

class FakeWorkbook : public ExcelAutomation::Workbook
{
public:
    FakeWorkbook(FakeAutomation &log, Arena &arena, BookData &book)
        : m_log(log), m_arena(arena), m_book(book)
    {
    }
    ExcelAutomation::Sheets *GetSheets() override
    {
        m_log.Record(QStringLiteral("Sheets"));
        m_arena.sheetLists.push_back(std::make_unique<FakeSheets>(m_log, m_arena, m_book));
        return m_arena.sheetLists.back().get();
    }
    bool Save(QString *reason) override
    {
        m_log.Record(QStringLiteral("Save"));
        if (m_book.refuseSave) {
            *reason = QStringLiteral("saving refused by the workbook");
            return false;
        }
        QFile file(m_book.path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(serialize(m_book)) >= 0;
    }
    void Close(bool saveChanges) override
    {
        m_log.Record(QStringLiteral("Close ") +
                     (saveChanges ? QStringLiteral("true") : QStringLiteral("false")));
    }

private:
    FakeAutomation &m_log;
    Arena &m_arena;
    BookData &m_book;
};

class FakeWorkbooks : public ExcelAutomation::Workbooks
{
public:
    FakeWorkbooks(FakeAutomation &log, Arena &arena) : m_log(log), m_arena(arena) {}
    ExcelAutomation::Workbook *Open(const QString &path, QString *reason) override
    {
        m_log.Record(QStringLiteral("Open ") + path);
        auto book = std::make_unique<BookData>();
        if (!loadBook(path, book.get())) {
            *reason = QStringLiteral("expected FAKEBOOK as the first line");
            return nullptr;
        }
        m_arena.books.push_back(std::move(book));
        m_arena.workbooks.push_back(
            std::make_unique<FakeWorkbook>(m_log, m_arena, *m_arena.books.back()));
        return m_arena.workbooks.back().get();
    }

private:
    FakeAutomation &m_log;
    Arena &m_arena;
};

class FakeApplication : public ExcelAutomation::Application
{
public:
    FakeApplication(FakeAutomation &log, bool noWorkbooks)
        : m_log(log), m_workbooks(log, m_arena), m_noWorkbooks(noWorkbooks)
    {
    }
    ~FakeApplication() override { m_log.Record(QStringLiteral("Destroyed")); }
    void SetVisible(bool visible) override
    {
        m_log.Record(QStringLiteral("SetVisible ") + (visible ? "true" : "false"));
    }
    void SetDisplayAlerts(bool alerts) override
    {
        m_log.Record(QStringLiteral("SetDisplayAlerts ") + (alerts ? "true" : "false"));
    }
    ExcelAutomation::Workbooks *GetWorkbooks() override
    {
        m_log.Record(QStringLiteral("Workbooks"));
        return m_noWorkbooks ? nullptr : &m_workbooks;
    }
    void Quit() override { m_log.Record(QStringLiteral("Quit")); }

private:
    FakeAutomation &m_log;
    Arena m_arena;
    FakeWorkbooks m_workbooks;
    bool m_noWorkbooks;
};

} // namespace

std::unique_ptr<ExcelAutomation::Application> FakeAutomation::Start()
{
    Record(QStringLiteral("Start"));
    if (m_onStart)
        m_onStart();
    if (m_startFails)
        return nullptr;
    return std::make_unique<FakeApplication>(*this, m_noWorkbooks);
}

void FakeAutomation::Record(const QString &call)
{
    QMutexLocker locker(&m_mutex);
    m_calls << call;
}

QStringList FakeAutomation::Calls() const
{
    QMutexLocker locker(&m_mutex);
    return m_calls;
}

void FakeAutomation::ClearCalls()
{
    QMutexLocker locker(&m_mutex);
    m_calls.clear();
}

QString FakeAutomation::FieldName(PageSetupField field)
{
    static const char *const names[] = {"LeftHeader", "CenterHeader", "RightHeader",
                                        "LeftFooter", "CenterFooter", "RightFooter"};
    for (int i = 0; i < 6; ++i)
        if (kFields[i] == field)
            return QLatin1String(names[i]);
    return QString();
}

bool FakeAutomation::WriteBook(const QString &path, const QStringList &sheets,
                               const QStringList &extraLines)
{
    QString text = QStringLiteral("FAKEBOOK\n");
    for (const QString &line : extraLines)
        text += line + QLatin1Char('\n');
    for (const QString &sheet : sheets) {
        const QStringList parts = sheet.split(QLatin1Char('|'));
        text += QStringLiteral("sheet ") + parts.first() + QLatin1Char('\n');
        for (const QString &part : parts.mid(1))
            text +=
                (part.startsWith(QLatin1Char('!')) ? part.mid(1) : QStringLiteral("cell ") + part) +
                QLatin1Char('\n');
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

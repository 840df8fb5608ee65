#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Describes a workbook in the terms of the object model, whatever the file format: sheets,
// their cells by kind, protection and headers. A format adds a builder (build()) and runs the
// same contract suites.
class WorkbookBuilder
{
public:
    enum class Style { General, Percent, Date, Unlocked };

    virtual ~WorkbookBuilder() = default;
    virtual QString format() const = 0;
    // Why this format's workbooks cannot be changed yet; empty when they can. The suites that
    // change a workbook skip such a format, saying why.
    virtual QString changesRefused() const { return QString(); }

    // Later cells, protection and headers go to this sheet.
    void addSheet(const QString &name) { m_sheets.push_back(Sheet{name, {}, false, {}}); }
    // A text cell through the shared string table (every use of one text shares its item),
    // or the cell's own text.
    void sharedText(int row, int column, const QString &text, Style style = Style::General)
    {
        add(row, column, Cell::SharedText, text, 0, style);
    }
    void ownText(int row, int column, const QString &text)
    {
        add(row, column, Cell::OwnText, text);
    }
    void number(int row, int column, double value, Style style = Style::General)
    {
        add(row, column, Cell::Number, QString(), value, style);
    }
    void boolean(int row, int column, bool value)
    {
        add(row, column, Cell::Boolean, QString(), value ? 1 : 0);
    }
    // formula without "=", with its cached result value.
    void formula(int row, int column, const QString &formula, double cached = 0)
    {
        add(row, column, Cell::Formula, formula, cached);
    }
    void protect() { m_sheets.back().isProtected = true; }
    // The stored header text, section codes included.
    void header(const QString &text) { m_sheets.back().header = text; }

    virtual QByteArray build() const = 0;

    // Every format's builder, for the suites to run over.
    static std::vector<std::unique_ptr<WorkbookBuilder>> all();

protected:
    struct Cell {
        enum Kind { SharedText, OwnText, Number, Boolean, Formula };
        int row, column;
        Kind kind;
        QString text;
        double value;
        Style style;
    };
    struct Sheet {
        QString name;
        std::vector<Cell> cells;
        bool isProtected;
        QString header;
    };
    std::vector<Sheet> m_sheets;

private:
    void add(int row, int column, Cell::Kind kind, const QString &text, double value = 0,
             Style style = Style::General)
    {
        m_sheets.back().cells.push_back(Cell{row, column, kind, text, value, style});
    }
};

std::unique_ptr<WorkbookBuilder> makeOoxmlBuilder();
std::unique_ptr<WorkbookBuilder> makeXlsBuilder();

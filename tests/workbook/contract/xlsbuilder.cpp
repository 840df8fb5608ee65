#include "tests/workbook/contract/workbookbuilder.h"
#include "tests/workbook/support/biffstreambuilder.h"

#include <QMap>
#include <algorithm>

namespace
{

using B = BiffStreamBuilder;

// Cell format indexes of the XF records written below.
int xfOf(WorkbookBuilder::Style style)
{
    switch (style) {
    case WorkbookBuilder::Style::General:
        return 0;
    case WorkbookBuilder::Style::Percent:
        return 1;
    case WorkbookBuilder::Style::Date:
        return 2;
    case WorkbookBuilder::Style::Unlocked:
        return 3;
    }
    return 0;
}

QByteArray cellHead(int row, int column, int xf)
{
    return B::u16(row - 1) + B::u16(column - 1) + B::u16(xf);
}

// The formulas the suites use, as Excel stores them (reverse Polish tokens). The reference to
// another sheet goes through EXTERNSHEET entry 0, which names the first sheet.
QByteArray tokensOf(const QString &formula)
{
    const int relative = 0xC000; // row and column relative
    static const QMap<QString, QByteArray> tokens = {
        {"SUM(A2:A3)", B::u8(0x25) + B::u16(1) + B::u16(2) + B::u16(relative) + B::u16(relative) +
                           B::u8(0x22) + B::u8(1) + B::u16(4)},
        {"Data!A1*2", B::u8(0x3A) + B::u16(0) + B::u16(0) + B::u16(relative) + B::u8(0x1E) +
                          B::u16(2) + B::u8(0x05)},
    };
    if (!tokens.contains(formula))
        qFatal("the .xls builder has no tokens for the formula %s", qPrintable(formula));
    return tokens.value(formula);
}

class XlsBuilder : public WorkbookBuilder
{
public:
    QString format() const override { return QStringLiteral("xls"); }

    QByteArray build() const override
    {
        B b;
        QStringList strings;
        int uses = 0;
        for (const Sheet &sheet : m_sheets) {
            std::vector<Cell> cells = sheet.cells;
            std::stable_sort(cells.begin(), cells.end(), [](const Cell &x, const Cell &y) {
                return x.row != y.row ? x.row < y.row : x.column < y.column;
            });
            QByteArray records;
            if (!sheet.header.isEmpty())
                records += B::record(0x0014, B::string(sheet.header));
            if (sheet.isProtected)
                records += B::record(0x0012, B::u16(1));
            for (const Cell &c : cells) {
                const QByteArray head = cellHead(c.row, c.column, xfOf(c.style));
                switch (c.kind) {
                case Cell::SharedText: {
                    int index = strings.indexOf(c.text);
                    if (index < 0) {
                        index = strings.size();
                        strings << c.text;
                    }
                    ++uses;
                    records += B::record(0x00FD, head + B::u32(quint32(index)));
                    break;
                }
                case Cell::OwnText:
                    records += B::record(0x0204, head + B::string(c.text));
                    break;
                case Cell::Number:
                    records += B::record(0x0203, head + B::f64(c.value));
                    break;
                case Cell::Boolean:
                    records += B::record(0x0205, head + B::u8(int(c.value)) + B::u8(0));
                    break;
                case Cell::Formula: {
                    const QByteArray tokens = tokensOf(c.text);
                    records += B::record(0x0006, head + B::f64(c.value) + B::u16(0) + B::u32(0) +
                                                     B::u16(tokens.size()) + tokens);
                    break;
                }
                }
            }
            b.sheets.append({sheet.name, 0, 0, 0x0010, records});
        }
        // General, percent (0%), date (m/d/yy) and an unlocked general style.
        b.globals = B::xf(0) + B::xf(9) + B::xf(14) + B::xf(0, false);
        // The workbook itself as the one supporting book, its first sheet as entry 0.
        b.globals += B::record(0x01AE, B::u16(int(m_sheets.size())) + B::u16(0x0401));
        b.globals += B::record(0x0017, B::u16(1) + B::u16(0) + B::u16(0) + B::u16(0));
        QByteArray sst = B::u32(quint32(uses)) + B::u32(quint32(strings.size()));
        for (const QString &s : strings)
            sst += B::string(s);
        b.globals += B::record(0x00FC, sst);
        return b.file();
    }
};

} // namespace

std::unique_ptr<WorkbookBuilder> makeXlsBuilder()
{
    return std::make_unique<XlsBuilder>();
}

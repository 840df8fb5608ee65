#include "tests/workbook/contract/workbookbuilder.h"
#include "tests/workbook/support/testworkbook.h"

#include <QMap>

namespace
{

QByteArray escape(const QString &s)
{
    return s.toHtmlEscaped().toUtf8();
}

QByteArray reference(int row, int column)
{
    QByteArray letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(char('A' + (n - 1) % 26));
    return letters + QByteArray::number(row);
}

// Cell format indexes of TestWorkbook::defaultStyles().
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
        return 4;
    }
    return 0;
}

class OoxmlBuilder : public WorkbookBuilder
{
public:
    QString format() const override { return QStringLiteral("xlsx"); }

    QByteArray build() const override
    {
        TestWorkbook t;
        QStringList strings;
        for (const Sheet &sheet : m_sheets) {
            QMap<int, QByteArray> rows;
            for (const Cell &c : sheet.cells) {
                QByteArray xml = "<c r=\"" + reference(c.row, c.column) + "\" s=\"" +
                                 QByteArray::number(xfOf(c.style)) + "\"";
                switch (c.kind) {
                case Cell::SharedText: {
                    int index = strings.indexOf(c.text);
                    if (index < 0) {
                        index = strings.size();
                        strings << c.text;
                    }
                    xml += " t=\"s\"><v>" + QByteArray::number(index) + "</v></c>";
                    break;
                }
                case Cell::OwnText:
                    xml += " t=\"inlineStr\"><is><t>" + escape(c.text) + "</t></is></c>";
                    break;
                case Cell::Number:
                    xml += "><v>" + QByteArray::number(c.value, 'g', 17) + "</v></c>";
                    break;
                case Cell::Boolean:
                    xml += " t=\"b\"><v>" + QByteArray::number(int(c.value)) + "</v></c>";
                    break;
                case Cell::Formula:
                    xml += "><f>" + escape(c.text) + "</f><v>" +
                           QByteArray::number(c.value, 'g', 17) + "</v></c>";
                    break;
                }
                rows[c.row] += xml;
            }
            QByteArray data;
            for (auto it = rows.cbegin(); it != rows.cend(); ++it)
                data += "<row r=\"" + QByteArray::number(it.key()) + "\">" + it.value() + "</row>";
            QByteArray after;
            if (sheet.isProtected)
                after += "<sheetProtection sheet=\"1\"/>";
            if (!sheet.header.isEmpty())
                after += "<headerFooter><oddHeader>" + escape(sheet.header) +
                         "</oddHeader></headerFooter>";
            t.addSheet(sheet.name, TestWorkbook::worksheet(data, after));
        }
        t.sharedStrings = strings;
        return t.build();
    }
};

} // namespace

std::unique_ptr<WorkbookBuilder> makeOoxmlBuilder()
{
    return std::make_unique<OoxmlBuilder>();
}

std::vector<std::unique_ptr<WorkbookBuilder>> WorkbookBuilder::all()
{
    std::vector<std::unique_ptr<WorkbookBuilder>> builders;
    builders.push_back(makeOoxmlBuilder());
    builders.push_back(makeXlsBuilder());
    return builders;
}

#include "tests/workbook/support/testworkbook.h"

#include <QFile>

namespace
{

QByteArray escape(const QString &s)
{
    return s.toHtmlEscaped().toUtf8();
}

} // namespace

QByteArray TestWorkbook::defaultStyles()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd\"/></numFmts>"
           "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders "
           "count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
           "</cellStyleXfs>"
           "<cellXfs count=\"6\">"
           "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
           "<xf numFmtId=\"9\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
           "applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
           "applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"21\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
           "applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
           "applyProtection=\"1\"><protection locked=\"0\"/></xf>"
           "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
           "applyNumberFormat=\"1\"/>"
           "</cellXfs>"
           "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
           "</cellStyles></styleSheet>";
}

QByteArray TestWorkbook::worksheet(const QByteArray &sheetData, const QByteArray &afterSheetData,
                                   const QByteArray &beforeSheetData)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
           beforeSheetData + "<sheetData>" + sheetData + "</sheetData>" + afterSheetData +
           "</worksheet>";
}

QByteArray TestWorkbook::build() const
{
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const QByteArray ml = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/"
        "vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
        ml + "sheet.main+xml\"/>";
    QByteArray wbRels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                        "relationships\">";
    QByteArray sheetList;
    QVector<QPair<QString, QByteArray>> parts;
    for (int i = 0; i < sheets.size(); ++i) {
        const Sheet &s = sheets[i];
        const QByteArray n = QByteArray::number(i + 1);
        QByteArray folder = "worksheets", file = "sheet", type = "worksheet";
        QByteArray typeUri = rel + "worksheet";
        if (s.kind == "chartsheet") {
            folder = "chartsheets";
            type = "chartsheet";
            typeUri = rel + "chartsheet";
        } else if (s.kind == "dialogsheet") {
            folder = "dialogsheets";
            type = "dialogsheet";
            typeUri = rel + "dialogsheet";
        } else if (s.kind == "macrosheet") {
            folder = "macrosheets";
            type = "macrosheet";
            typeUri = "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet";
        }
        const QByteArray part = "xl/" + folder + "/" + file + n + ".xml";
        wbRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + typeUri + "\" Target=\"" + folder +
                  "/" + file + n + ".xml\"/>";
        types += "<Override PartName=\"/" + part + "\" ContentType=\"" + ml + type + "+xml\"/>";
        sheetList += "<sheet name=\"" + escape(s.name) + "\" sheetId=\"" + n + "\"" +
                     (s.state.isEmpty() ? QByteArray() : " state=\"" + s.state.toUtf8() + "\"") +
                     " r:id=\"rId" + n + "\"/>";
        parts.append({QString::fromUtf8(part), s.xml});
        if (!s.rels.isEmpty()) {
            QByteArray r = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                           "relationships\">";
            int k = 1;
            for (auto it = s.rels.constBegin(); it != s.rels.constEnd(); ++it, ++k)
                r += "<Relationship Id=\"rId" + QByteArray::number(k) + "\" Type=\"" + rel +
                     it.value() + "\" Target=\"" + it.key().toUtf8() + "\"/>";
            r += "</Relationships>";
            parts.append({"xl/" + folder + "/_rels/" + file + n + ".xml.rels", r});
        }
    }
    const int base = sheets.size();
    wbRels += "<Relationship Id=\"rId" + QByteArray::number(base + 1) + "\" Type=\"" + rel +
              "styles\" Target=\"styles.xml\"/>";
    types += "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + ml + "styles+xml\"/>";
    parts.append({"xl/styles.xml", stylesXml.isEmpty() ? defaultStyles() : stylesXml});
    if (!sharedStrings.isEmpty() || !sharedStringsXml.isEmpty()) {
        QByteArray sst = sharedStringsXml;
        if (sst.isEmpty()) {
            sst = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                  "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "count=\"" +
                  QByteArray::number(sharedStrings.size()) + "\" uniqueCount=\"" +
                  QByteArray::number(sharedStrings.size()) + "\">";
            for (const QString &s : sharedStrings)
                sst += "<si><t xml:space=\"preserve\">" + escape(s) + "</t></si>";
            sst += "</sst>";
        }
        wbRels += "<Relationship Id=\"rId" + QByteArray::number(base + 2) + "\" Type=\"" + rel +
                  "sharedStrings\" Target=\"sharedStrings.xml\"/>";
        types += "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" + ml +
                 "sharedStrings+xml\"/>";
        parts.append({"xl/sharedStrings.xml", sst});
    }
    if (calcChain) {
        wbRels += "<Relationship Id=\"rId" + QByteArray::number(base + 3) + "\" Type=\"" + rel +
                  "calcChain\" Target=\"calcChain.xml\"/>";
        types +=
            "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"" + ml + "calcChain+xml\"/>";
        parts.append(
            {QStringLiteral("xl/calcChain.xml"),
             QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                        "main\"><c r=\"A1\" i=\"1\"/></calcChain>")});
    }
    wbRels += "</Relationships>";
    for (auto it = extraParts.constBegin(); it != extraParts.constEnd(); ++it)
        parts.append({it.key().mid(1), it.value()});
    QByteArray rootRels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                          "relationships\"><Relationship Id=\"rId1\" Type=\"" +
                          rel + "officeDocument\" Target=\"xl/workbook.xml\"/>";
    if (!appXml.isEmpty()) {
        rootRels += "<Relationship Id=\"rId2\" Type=\"" + rel +
                    "extended-properties\" Target=\"docProps/app.xml\"/>";
        types += "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.extended-properties+xml\"/>";
        parts.append({"docProps/app.xml", appXml});
    }
    rootRels += "</Relationships>";
    types += "</Types>";
    const QByteArray workbook =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<workbookPr" +
        QByteArray(date1904 ? " date1904=\"1\"" : "") + "/><sheets>" + sheetList + "</sheets>" +
        workbookBody + "</workbook>";
    QVector<QPair<QString, QByteArray>> all;
    all.append({"[Content_Types].xml", types});
    all.append({"_rels/.rels", rootRels});
    all.append({"xl/workbook.xml", workbook});
    all.append({"xl/_rels/workbook.xml.rels", wbRels});
    all += parts;
    return ZipContents::makeZip(all);
}

bool TestWorkbook::write(const QString &path) const
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(build()) >= 0 && f.flush();
}

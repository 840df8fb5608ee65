"""Writes the workbooks whose .xls conversions (by LibreOffice) the rename and header tests
rewrite record by record.

Usage: makerenameworkbooks.py OUTDIR
  OUTDIR/links.xlsx  sheets "Sheet1", "My sheet", "It's" and "数据", internal hyperlinks to each,
                     a header and footer on "Sheet1" and on "数据"
  OUTDIR/pivot.xlsx  a pivot table on "Report" whose source is A1:B4 of "My data"
"""
import re
import sys
import zipfile

import openpyxl
from openpyxl.worksheet.hyperlink import Hyperlink


def links(path):
    wb = openpyxl.Workbook()
    first = wb.active
    first.title = "Sheet1"
    sheets = [first] + [wb.create_sheet(n) for n in ("My sheet", "It's", "数据")]
    for s in sheets:
        s["A1"] = "x"
        s["B2"] = 2
    for row, location in ((2, "'My sheet'!A1:B2"), (3, "'It''s'!B2"), (4, "数据!A1")):
        first.cell(row, 1, "link")
        first.cell(row, 1).hyperlink = Hyperlink(ref="A%d" % row, location=location)
    first["A5"] = "web"
    first["A5"].hyperlink = "http://example.com/"
    sheets[1]["A2"] = "back"
    sheets[1]["A2"].hyperlink = Hyperlink(ref="A2", location="Sheet1!A1")
    first.oddHeader.center.text = "Title"
    first.oddFooter.right.text = "Page &P"
    sheets[3].oddHeader.left.text = "数据 header"
    wb.save(path)


PIVOT_CACHE = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<pivotCacheDefinition xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" \
xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" r:id="rId1" \
recordCount="3"><cacheSource type="worksheet"><worksheetSource ref="A1:B4" sheet="My data"/>\
</cacheSource><cacheFields count="2"><cacheField name="Name" numFmtId="0"><sharedItems count="2">\
<s v="a"/><s v="b"/></sharedItems></cacheField><cacheField name="Value" numFmtId="0">\
<sharedItems containsSemiMixedTypes="0" containsString="0" containsNumber="1" \
containsInteger="1" minValue="1" maxValue="3"/></cacheField></cacheFields></pivotCacheDefinition>"""

PIVOT_RECORDS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<pivotCacheRecords xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="3">\
<r><x v="0"/><n v="1"/></r><r><x v="1"/><n v="2"/></r><r><x v="0"/><n v="3"/></r>\
</pivotCacheRecords>"""

PIVOT_TABLE = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<pivotTableDefinition xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" \
name="PivotTable1" cacheId="1" dataCaption="Values" updatedVersion="3" \
minRefreshableVersion="3" createdVersion="3" outline="1" outlineData="1">\
<location ref="A3:B6" firstHeaderRow="1" firstDataRow="1" firstDataCol="1"/>\
<pivotFields count="2"><pivotField axis="axisRow" showAll="0"><items count="3"><item x="0"/>\
<item x="1"/><item t="default"/></items></pivotField><pivotField dataField="1" showAll="0"/>\
</pivotFields><rowFields count="1"><field x="0"/></rowFields><rowItems count="3"><i><x/></i>\
<i><x v="1"/></i><i t="grand"><x/></i></rowItems><colItems count="1"><i/></colItems>\
<dataFields count="1"><dataField name="Sum of Value" fld="1" baseField="0" baseItem="0"/>\
</dataFields></pivotTableDefinition>"""

RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships '
        'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="%s" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        'relationships/%s" Target="%s"/></Relationships>')


def pivot(path, base):
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "My data"
    for row in (["Name", "Value"], ["a", 1], ["b", 2], ["a", 3]):
        data.append(row)
    wb.create_sheet("Report")
    wb.save(base)
    with zipfile.ZipFile(base) as z:
        parts = {n: z.read(n).decode("utf-8") for n in z.namelist()}
    parts["xl/pivotCache/pivotCacheDefinition1.xml"] = PIVOT_CACHE
    parts["xl/pivotCache/pivotCacheRecords1.xml"] = PIVOT_RECORDS
    parts["xl/pivotCache/_rels/pivotCacheDefinition1.xml.rels"] = RELS % (
        "rId1", "pivotCacheRecords", "pivotCacheRecords1.xml")
    parts["xl/pivotTables/pivotTable1.xml"] = PIVOT_TABLE
    parts["xl/pivotTables/_rels/pivotTable1.xml.rels"] = RELS % (
        "rId1", "pivotCacheDefinition", "../pivotCache/pivotCacheDefinition1.xml")
    parts["xl/worksheets/_rels/sheet2.xml.rels"] = RELS % (
        "rId1", "pivotTable", "../pivotTables/pivotTable1.xml")
    kinds = {"pivotCache/pivotCacheDefinition1": "pivotCacheDefinition",
             "pivotCache/pivotCacheRecords1": "pivotCacheRecords",
             "pivotTables/pivotTable1": "pivotTable"}
    overrides = "".join(
        '<Override PartName="/xl/%s.xml" ContentType="application/vnd.openxmlformats-'
        'officedocument.spreadsheetml.%s+xml"/>' % item for item in kinds.items())
    parts["[Content_Types].xml"] = parts["[Content_Types].xml"].replace(
        "</Types>", overrides + "</Types>")
    parts["xl/_rels/workbook.xml.rels"] = parts["xl/_rels/workbook.xml.rels"].replace(
        "</Relationships>",
        '<Relationship Id="rIdPc1" Type="http://schemas.openxmlformats.org/officeDocument/'
        '2006/relationships/pivotCacheDefinition" '
        'Target="pivotCache/pivotCacheDefinition1.xml"/></Relationships>')
    book = re.sub("</sheets>", '</sheets><pivotCaches><pivotCache cacheId="1" r:id="rIdPc1"/>'
                  "</pivotCaches>", parts["xl/workbook.xml"])
    if "xmlns:r=" not in book.split(">")[1]:
        book = book.replace("<workbook ", '<workbook xmlns:r="http://schemas.openxmlformats.org/'
                            'officeDocument/2006/relationships" ', 1)
    parts["xl/workbook.xml"] = book
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, text.encode("utf-8"))


def main():
    out = sys.argv[1]
    links(out + "/links.xlsx")
    pivot(out + "/pivot.xlsx", out + "/pivot-base.xlsx")


if __name__ == "__main__":
    main()

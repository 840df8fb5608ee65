#!/usr/bin/python3
"""Writes COUNT workbooks (default 60) of 3 sheets x 2,000 rows x 8 columns into OUT_DIR.

Deterministic (seed 15). Columns: A a Chinese company name (one of 400, "旧公司" in some, so a
replacement of "旧公司" changes every workbook), B a Latin product code, C a Chinese remark
(inline text in a few rows), D an amount, E a quantity, F a percentage, G a date in a Chinese
format (yyyy"年"m"月"d"日"), H a formula (D*E). Text goes to a shared string table, as Excel
saves it.
"""
import os
import random
import sys
import zipfile
from xml.sax.saxutils import escape

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate_big_workbook as big  # noqa: E402  (the fixed parts)

SHEETS = ["销售", "库存", "Summary"]
ROWS = 2000

STYLES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="1"><numFmt numFmtId="176" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts><fonts count="1"><font><sz val="11"/><name val="等线"/><family val="2"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="10" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/><xf numFmtId="176" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs><cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>"""

SYLLABLES = "华东南北中西新旧大小金银山海天地春秋恒泰宏达兴盛安康永信广源"
REMARKS = ["按时交付", "客户要求加急", "已开发票", "待审核", "退货处理中", "月底结算",
           "Paid in full", "分批发货", "质量合格", "价格已调整"]


def workbook_xml():
    sheets = "".join(f'<sheet name="{n}" sheetId="{i + 1}" r:id="rId{i + 1}"/>'
                     for i, n in enumerate(SHEETS))
    return big.WORKBOOK.replace('<sheets><sheet name="Data" sheetId="1" r:id="rId1"/></sheets>',
                                f"<sheets>{sheets}</sheets>")


def workbook_rels():
    n = len(SHEETS)
    rels = "".join(
        f'<Relationship Id="rId{i + 1}" Type="http://schemas.openxmlformats.org/officeDocument/'
        f'2006/relationships/worksheet" Target="worksheets/sheet{i + 1}.xml"/>' for i in range(n))
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http:'
            '//schemas.openxmlformats.org/package/2006/relationships">' + rels +
            f'<Relationship Id="rId{n + 1}" Type="http://schemas.openxmlformats.org/officeDocument'
            f'/2006/relationships/styles" Target="styles.xml"/><Relationship Id="rId{n + 2}" '
            'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'sharedStrings" Target="sharedStrings.xml"/></Relationships>')


def content_types():
    sheets = "".join(f'<Override PartName="/xl/worksheets/sheet{i + 1}.xml" ContentType="'
                     'application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
                     for i in range(len(SHEETS)))
    return big.CONTENT_TYPES.replace(
        '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.'
        'openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>', sheets)


def write_workbook(path, rng):
    companies = ["".join(rng.choice(SYLLABLES) for _ in range(2)) + "旧公司" if k % 10 == 0 else
                 "".join(rng.choice(SYLLABLES) for _ in range(3)) + "有限公司" for k in range(400)]
    strings, index = [], {}

    def sst(text):
        i = index.get(text)
        if i is None:
            i = index[text] = len(strings)
            strings.append(text)
        return i

    parts = {}
    for s in range(len(SHEETS)):
        rows = []
        for r in range(1, ROWS + 1):
            c = [f'<c r="A{r}" t="s"><v>{sst(rng.choice(companies))}</v></c>',
                 f'<c r="B{r}" t="s"><v>{sst("SKU-%05d" % rng.randrange(20000))}</v></c>']
            remark = rng.choice(REMARKS)
            if r % 50 == 0:
                c.append(f'<c r="C{r}" t="inlineStr"><is><t>{escape(remark)} {r}</t></is></c>')
            else:
                c.append(f'<c r="C{r}" t="s"><v>{sst(remark)}</v></c>')
            amount = round(rng.uniform(10, 99999), 2)
            quantity = rng.randrange(1, 500)
            c.append(f'<c r="D{r}"><v>{amount}</v></c>')
            c.append(f'<c r="E{r}"><v>{quantity}</v></c>')
            c.append(f'<c r="F{r}" s="1"><v>{rng.randrange(0, 10000) / 10000}</v></c>')
            c.append(f'<c r="G{r}" s="2"><v>{43000 + rng.randrange(2000)}</v></c>')
            c.append(f'<c r="H{r}"><f>D{r}*E{r}</f><v>{round(amount * quantity, 2)}</v></c>')
            rows.append(f'<row r="{r}" spans="1:8">{"".join(c)}</row>')
        parts[f"xl/worksheets/sheet{s + 1}.xml"] = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="http://'
            'schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.'
            'openxmlformats.org/officeDocument/2006/relationships">'
            f'<dimension ref="A1:H{ROWS}"/><sheetData>' + "".join(rows) +
            '</sheetData><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" '
            'header="0.3" footer="0.3"/></worksheet>')
    shared = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="http://'
              'schemas.openxmlformats.org/spreadsheetml/2006/main" '
              f'uniqueCount="{len(strings)}">' +
              "".join(f"<si><t>{escape(t)}</t></si>" for t in strings) + "</sst>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("[Content_Types].xml", content_types())
        z.writestr("_rels/.rels", big.ROOT_RELS)
        z.writestr("docProps/app.xml", big.APP)
        z.writestr("docProps/core.xml", big.CORE)
        z.writestr("xl/workbook.xml", workbook_xml())
        z.writestr("xl/_rels/workbook.xml.rels", workbook_rels())
        z.writestr("xl/styles.xml", STYLES)
        z.writestr("xl/sharedStrings.xml", shared)
        for name, xml in parts.items():
            z.writestr(name, xml)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: generate_realistic_set.py OUT_DIR [COUNT]")
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 60
    os.makedirs(out, exist_ok=True)
    rng = random.Random(15)
    for k in range(count):
        write_workbook(os.path.join(out, f"book{k + 1:03d}.xlsx"), rng)


if __name__ == "__main__":
    main()

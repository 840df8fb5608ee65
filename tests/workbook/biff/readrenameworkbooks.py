"""Prints, as JSON, what independent readers find in workbooks the rename and header tests
wrote: for each .xls, xlrd's sheet names and hyperlink locations; for each .xlsx (LibreOffice's
conversion of such an .xls), the sheet names, each sheet's header and footer as stored, and the
sheets the pivot caches take their data from.

Usage: readrenameworkbooks.py FILE...
"""
import html
import json
import re
import sys
import zipfile

import xlrd


def read_xls(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    return {"sheets": book.sheet_names(),
            "links": {s.name: [h.textmark for h in s.hyperlink_list if h.textmark]
                      for s in book.sheets()}}


def read_xlsx(path):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        book = z.read("xl/workbook.xml").decode("utf-8")
        rels = z.read("xl/_rels/workbook.xml.rels").decode("utf-8")
        targets = dict(re.findall(r'<Relationship Id="([^"]+)"[^>]*Target="([^"]+)"', rels))
        targets.update({i: t for t, i in
                        re.findall(r'<Relationship[^>]*Target="([^"]+)"[^>]*Id="([^"]+)"', rels)})
        out = {"sheets": [], "headers": {}, "pivotSources": []}
        for tag in re.findall(r"<sheet [^>]*>", book):
            name = html.unescape(re.search(r' name="([^"]*)"', tag).group(1))
            rid = re.search(r' r:id="([^"]*)"', tag).group(1)
            sheet = z.read("xl/" + targets[rid].lstrip("/").replace("xl/", "", 1)).decode("utf-8")
            parts = []
            for element in ("oddHeader", "oddFooter"):
                m = re.search(r"<%s>(.*?)</%s>" % (element, element), sheet, re.S)
                parts.append(html.unescape(m.group(1)) if m else "")
            out["sheets"].append(name)
            out["headers"][name] = parts
        for n in names:
            if n.startswith("xl/pivotCache/pivotCacheDefinition"):
                xml = z.read(n).decode("utf-8")
                out["pivotSources"] += [html.unescape(s) for s in
                                        re.findall(r'<worksheetSource[^>]* sheet="([^"]*)"', xml)]
    return out


def main():
    print(json.dumps({p: read_xls(p) if p.endswith(".xls") else read_xlsx(p)
                      for p in sys.argv[1:]}, ensure_ascii=False))


if __name__ == "__main__":
    main()

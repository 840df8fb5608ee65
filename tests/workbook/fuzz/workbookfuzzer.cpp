#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/application.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <zip.h>

namespace
{

// Input that is not a zip file is taken as the XML of a workbook's parts, separated by
// kSeparator (sheet, shared strings, styles, workbook), and packed with valid checksums, so
// that mutations reach the XML rather than die in the zip layer.
const char kSeparator[] = "\n--part--\n";

QByteArray packParts(const QByteArray &input)
{
    QList<QByteArray> parts;
    int from = 0;
    for (;;) {
        const int at = input.indexOf(kSeparator, from);
        parts.append(input.mid(from, at < 0 ? -1 : at - from));
        if (at < 0 || parts.size() == 4)
            break;
        from = at + int(sizeof kSeparator) - 1;
    }
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const QByteArray sheet = parts.value(0);
    const QByteArray strings = parts.value(1);
    const QByteArray styles = parts.value(2);
    const QByteArray workbook =
        parts.size() > 3 ? parts[3]
                         : "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" sheetId=\"1\" "
                           "r:id=\"rId1\"/><sheet name=\"T\" sheetId=\"2\" r:id=\"rId1\"/>"
                           "</sheets><definedNames><definedName name=\"N\">S!A1</definedName>"
                           "</definedNames></workbook>";
    const QList<QPair<const char *, QByteArray>> entries = {
        {"[Content_Types].xml", "<Types/>"},
        {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", workbook},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
             "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             rel +
             "sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" "
             "Type=\"" +
             rel + "styles\" Target=\"styles.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet},
        {"xl/sharedStrings.xml", strings.isEmpty() ? QByteArray("<sst/>") : strings},
        {"xl/styles.xml", styles.isEmpty() ? QByteArray("<styleSheet/>") : styles},
    };
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t *z = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    for (const auto &e : entries) {
        zip_source_t *s =
            zip_source_buffer(z, e.second.constData(), zip_uint64_t(e.second.size()), 0);
        const zip_int64_t i = zip_file_add(z, e.first, s, 0);
        zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
    }
    QByteArray out;
    if (zip_close(z) == 0) {
        zip_stat_t st;
        zip_source_stat(buffer, &st);
        out.resize(int(st.size));
        zip_source_open(buffer);
        zip_source_read(buffer, out.data(), st.size);
        zip_source_close(buffer);
    } else {
        zip_discard(z);
    }
    zip_source_free(buffer);
    return out;
}

// Input that starts like a BIFF8 BOF record is taken as a Workbook stream and put into a
// compound file, so that mutations reach the BIFF records rather than the sector tables.
QByteArray packWorkbookStream(const QByteArray &stream)
{
    CompoundFileBuilder b;
    b.addStream(QStringLiteral("Workbook"), stream);
    return b.build();
}

} // namespace

// open -> find -> replace -> rename -> header -> save on bytes in memory; whatever the server
// saves it must be able to open again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    if (bytes.startsWith(QByteArray("\x09\x08", 2)))
        bytes = packWorkbookStream(bytes);
    else if (!bytes.startsWith("PK") && !bytes.startsWith("\xD0\xCF\x11\xE0"))
        bytes = packParts(bytes);
    workbook::Application app;
    workbook::Workbook *wb = app.OpenFromMemory(bytes);
    if (!wb)
        return 0;
    const int count = qMin(wb->Count(), 8);
    for (int i = 1; i <= count; ++i) {
        workbook::Sheet *sheet = wb->Item(i);
        if (workbook::UsedRange *range = sheet->usedRange()) {
            range->Find(QStringLiteral("a*b?"));
            range->Find(QStringLiteral("=*!"));
            range->Replace(QStringLiteral("e"), QStringLiteral("E e"));
            range->Replace(QStringLiteral("1"), QStringLiteral("=A1&\"x\""));
            range->Replace(QStringLiteral("~*"), QString());
        }
        sheet->pageSetup()->SetCenterHeader(QStringLiteral("&P && X"));
        sheet->pageSetup()->SetLeftFooter(sheet->pageSetup()->RightHeader());
    }
    if (count > 0) {
        wb->Item(1)->SetName(QStringLiteral("It's 1"));
        if (count > 1)
            wb->Item(2)->SetName(wb->Item(1)->Name().toUpper());
    }
    if (wb->Save() && !wb->isModified() && !wb->savedBytes().isEmpty()) {
        workbook::Application again;
        if (!again.OpenFromMemory(wb->savedBytes()))
            std::abort(); // the server wrote a package it cannot read back
    }
    return 0;
}

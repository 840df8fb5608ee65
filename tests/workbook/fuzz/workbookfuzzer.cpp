#include "workbook/application.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

// open -> find -> replace -> rename -> header -> save on bytes in memory; whatever the server
// saves it must be able to open again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    workbook::Application app;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    workbook::Workbook *wb = app.OpenFromMemory(bytes);
    if (!wb)
        return 0;
    const int count = qMin(wb->Count(), 8);
    for (int i = 1; i <= count; ++i) {
        workbook::Sheet *sheet = wb->Item(i);
        if (workbook::UsedRange *range = sheet->usedRange()) {
            range->Find(QStringLiteral("a*b?"));
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
    if (wb->Save() && wb->isModified() == false && !wb->savedBytes().isEmpty()) {
        workbook::Application again;
        if (!again.OpenFromMemory(wb->savedBytes()))
            std::abort(); // the server wrote a package it cannot read back
    }
    return 0;
}

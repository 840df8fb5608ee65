// libFuzzer over the workbook text algorithms: any input, split at the first \x01 into a
// search text and a cell text. Besides crashes and sanitizer reports it aborts on broken
// promises: tokens that do not cover the formula, a UTF-8 pre-test that misses a match,
// shown dates that do not read back.
#include "workbook/text/celltyping.h"
#include "workbook/text/datetext.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/formulalimits.h"
#include "workbook/text/formulasheetrename.h"
#include "workbook/text/formulatokenizer.h"
#include "workbook/text/headerfootertext.h"
#include "workbook/text/numberformatclassifier.h"
#include "workbook/text/numbertext.h"
#include "workbook/text/sharedformulashift.h"
#include "workbook/text/sheetnamerules.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

using namespace workbook::text;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int split = bytes.indexOf('\x01');
    const QByteArray whatBytes = split < 0 ? QByteArray() : bytes.left(split);
    const QByteArray textBytes = split < 0 ? bytes : bytes.mid(split + 1);
    const QString what = QString::fromUtf8(whatBytes);
    const QString text = QString::fromUtf8(textBytes);

    const FindPattern pattern(what);
    QString out;
    pattern.replace(text, QStringLiteral("Bar"), &out);
    qsizetype end = 0;
    for (const FindPattern::Match &m : pattern.replaceMatches(text)) {
        if (m.start < end || m.start + m.length > text.size()) {
            std::abort();
        }
        end = m.start + m.length;
    }
    // Decoding replaced invalid bytes, so only compare on text that is valid UTF-8.
    if (pattern.matches(text) && text.toUtf8() == textBytes &&
        !pattern.mayMatchUtf8(textBytes.constData(), textBytes.size())) {
        std::abort();
    }

    qsizetype covered = 0;
    for (const FormulaToken &t : FormulaTokenizer::tokenize(text)) {
        if (t.start != covered || t.length <= 0) {
            std::abort();
        }
        covered += t.length;
    }
    if (covered != text.size()) {
        std::abort();
    }
    SharedFormulaShift::shift(text, int(size % 7) - 3, int(size % 5) - 2);
    FormulaSheetRename::rename(text, what.isEmpty() ? QStringLiteral("Sheet1") : what,
                               QStringLiteral("It's new"));
    FormulaLimits::check(text);

    QString header;
    HeaderFooterText::withSection(text, HeaderFooterText::Section::Right, what, &header);

    for (DateSystem system : {DateSystem::Date1900, DateSystem::Date1904}) {
        if (const std::optional<double> serial = DateText::parse(text, system)) {
            const QString shown = DateText::format(*serial, system, *serial < 1);
            if (DateText::parse(shown, system) != serial) {
                std::abort();
            }
        }
    }
    if (const std::optional<double> v = NumberText::parse(text)) {
        NumberText::format(*v);
    }
    NumberFormatClassifier::classifyCode(text);
    SheetNameRules::checkName(text);
    for (CellTyping::Was was :
         {CellTyping::Was::Text, CellTyping::Was::Number, CellTyping::Was::Boolean,
          CellTyping::Was::Error, CellTyping::Was::Formula}) {
        CellTyping::retype(was, text, NumberFormatKind::Date);
    }
    return 0;
}

// Throughput of the workbook server's text algorithms over a 1,000,000-cell sheet's worth of
// cell texts: the matcher (UTF-16 and the UTF-8 pre-test), number rendering, formula rewrites.
#include "workbook/text/datetext.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/formulasheetrename.h"
#include "workbook/text/numbertext.h"
#include "workbook/text/sharedformulashift.h"

#include <QElapsedTimer>
#include <QVector>
#include <cstdio>

using namespace workbook::text;

namespace
{

constexpr int kCells = 1000000;

void report(const char *what, qint64 nanoseconds, int items, long long result)
{
    std::printf("%-40s %8.1f ms  %7.1f ns/item  (%lld)\n", what, nanoseconds / 1e6,
                double(nanoseconds) / items, result);
}

} // namespace

int main()
{
    QVector<QString> texts;
    QVector<QByteArray> utf8;
    QVector<double> numbers;
    texts.reserve(kCells / 2);
    for (int i = 0; i < kCells / 2; ++i) {
        texts.append(
            QStringLiteral("%1 %2-%3").arg(i % 10 == 0 ? "Foo" : "Item").arg(i / 5).arg(i % 5));
        utf8.append(texts.last().toUtf8());
        numbers.append(i * 1.5 + 0.25);
    }
    QElapsedTimer timer;

    for (const char *what : {"Foo", "Zq7NoSuchTextXv", "It*m ?-3"}) {
        const FindPattern pattern(QString::fromLatin1(what));
        timer.start();
        long long hits = 0;
        for (const QString &t : qAsConst(texts)) {
            hits += pattern.matches(t);
        }
        report(qPrintable(QStringLiteral("matches(UTF-16) \"%1\"").arg(what)), timer.nsecsElapsed(),
               texts.size(), hits);
        timer.start();
        hits = 0;
        for (const QByteArray &b : qAsConst(utf8)) {
            hits += pattern.mayMatchUtf8(b.constData(), b.size());
        }
        report(qPrintable(QStringLiteral("mayMatchUtf8 \"%1\"").arg(what)), timer.nsecsElapsed(),
               utf8.size(), hits);
    }

    {
        const FindPattern pattern(QStringLiteral("Foo"));
        timer.start();
        long long replaced = 0;
        QString out;
        for (const QString &t : qAsConst(texts)) {
            replaced += pattern.replace(t, QStringLiteral("Bar"), &out);
        }
        report("replace \"Foo\" -> \"Bar\"", timer.nsecsElapsed(), texts.size(), replaced);
    }

    {
        timer.start();
        long long length = 0;
        char buffer[NumberText::kBufferSize];
        for (double v : qAsConst(numbers)) {
            length += NumberText::write(v, buffer);
        }
        report("NumberText::write", timer.nsecsElapsed(), numbers.size(), length);
        timer.start();
        length = 0;
        for (double v : qAsConst(numbers)) {
            length += DateText::format(40000 + v / 100, DateSystem::Date1900, false).size();
        }
        report("DateText::format (date and time)", timer.nsecsElapsed(), numbers.size(), length);
    }

    {
        const QString formula = QStringLiteral("SUM(A1:B2)*Sheet1!$C$3+IF(D4>0,\"x\",E5)");
        constexpr int kFormulas = 100000;
        timer.start();
        long long length = 0;
        for (int i = 0; i < kFormulas; ++i) {
            length += SharedFormulaShift::shift(formula, i % 1000, i % 7).size();
        }
        report("SharedFormulaShift::shift", timer.nsecsElapsed(), kFormulas, length);
        timer.start();
        length = 0;
        for (int i = 0; i < kFormulas; ++i) {
            length += FormulaSheetRename::rename(formula, QStringLiteral("sheet1"),
                                                 QStringLiteral("Q1 2024"))
                          .value_or(QString())
                          .size();
        }
        report("FormulaSheetRename::rename", timer.nsecsElapsed(), kFormulas, length);
    }
    return 0;
}

// `tessaromandel-cli replace FOLDER --find F --replace R` without the engine around it: the
// replace run's steps straight on the workbook server, one process for the whole folder.
// Prints one JSON line with the counts, like the peer drivers.
#include "workbook/application.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

namespace
{

void collect(const QString &folder, QStringList *out)
{
    const QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                                                  QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &f : files) {
        const QString lower = f.filePath().toLower();
        if ((lower.endsWith(QLatin1String(".xlsx")) || lower.endsWith(QLatin1String(".xlsm")) ||
             lower.endsWith(QLatin1String(".xls"))) &&
            !f.filePath().contains(QLatin1String("~$"))) {
            out->append(f.filePath());
        }
    }
    const QFileInfoList dirs = dir.entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &d : dirs) {
        collect(d.absoluteFilePath(), out);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int findAt = int(args.indexOf(QStringLiteral("--find")));
    const int replaceAt = int(args.indexOf(QStringLiteral("--replace")));
    if (args.size() != 7 || args[1] != QLatin1String("replace") || findAt < 0 || replaceAt < 0 ||
        findAt + 1 >= args.size() || replaceAt + 1 >= args.size()) {
        std::fprintf(stderr, "usage: %s replace FOLDER --find TEXT --replace TEXT\n", argv[0]);
        return 2;
    }
    const QString find = args[findAt + 1];
    const QString with = args[replaceAt + 1];

    QElapsedTimer timer;
    timer.start();
    QStringList files;
    collect(args[2], &files);
    int opened = 0;
    int matched = 0;
    int saved = 0;
    int unopenable = 0;
    workbook::Application excel;
    for (const QString &path : qAsConst(files)) {
        workbook::Workbook *book = excel.Open(path);
        if (!book) {
            ++unopenable;
            continue;
        }
        ++opened;
        bool hit = false;
        for (int i = 1; i <= book->Count(); ++i) {
            workbook::UsedRange *range = book->Item(i)->usedRange();
            if (range && range->Find(find)) {
                hit = true;
                range->Replace(find, with);
            }
        }
        if (hit) {
            ++matched;
            saved += book->Save() ? 1 : 0;
        }
        book->Close();
    }
    excel.Quit();
    std::printf("{\"peer\": \"server\", \"workbooks\": %d, \"opened\": %d, \"matched\": %d, "
                "\"saved\": %d, \"unopenable\": %d, \"seconds\": %.3f}\n",
                int(files.size()), opened, matched, saved, unopenable, timer.nsecsElapsed() / 1e9);
    return 0;
}

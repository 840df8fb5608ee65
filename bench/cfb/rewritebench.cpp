// Time and peak memory of one CompoundFileWriter::rewrite() over a large Workbook stream.
//
//   tessaromandel_cfbrewritebench FILE.xls [longer|equal|shorter]
//
// Reads FILE (e.g. one with a 30 MB Workbook stream), makes the new content, then rewrites
// once. The memory the rewrite adds is the peak resident size after it less the resident size
// before it (file, parsed layout and new content already in memory).
#include "workbook/cfb/compoundfile.h"
#include "workbook/cfb/compoundfilewriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstring>

namespace
{

// A field of /proc/self/status in kB (VmRSS, VmHWM).
long statusKb(const char *field)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0 && line[n] == ':')
            kb = std::atol(line + n + 1);
    }
    std::fclose(f);
    return kb;
}

} // namespace

int main(int argc, char **argv)
{
    using workbook::cfb::CompoundFile;
    using workbook::cfb::CompoundFileWriter;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.xls [longer|equal|shorter]\n", argv[0]);
        return 2;
    }
    const QByteArray mode = argc > 2 ? QByteArray(argv[2]) : QByteArray("equal");
    QFile f(QString::fromLocal8Bit(argv[1]));
    if (!f.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray file = f.readAll();
    QString why;
    const auto parsed = CompoundFile::open(file, &why);
    if (!parsed) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const int book = parsed->findRootEntry(QStringLiteral("Workbook"));
    const qint64 size = book >= 0 ? qint64(parsed->entry(book).size) : 0;
    qint64 newSize = size;
    if (mode == "longer")
        newSize = size + (size / 10);
    else if (mode == "shorter")
        newSize = size - size / 10;
    QByteArray content(int(newSize), 'x');
    const long before = statusKb("VmRSS");
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    const bool ok = CompoundFileWriter::rewrite(file, *parsed, {{book, content}}, &out, &why);
    const qint64 ns = timer.nsecsElapsed();
    const long peak = statusKb("VmHWM");
    if (!ok) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    std::printf("%s: file %.1f MB, Workbook %.1f -> %.1f MB, result %.1f MB, %.1f ms, "
                "RSS before %.1f MB, peak %.1f MB, added %.1f MB\n",
                mode.constData(), file.size() / 1048576.0, size / 1048576.0, newSize / 1048576.0,
                out.size() / 1048576.0, ns / 1e6, before / 1024.0, peak / 1024.0,
                (peak - before) / 1024.0);
    return 0;
}

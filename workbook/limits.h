#pragma once

#include <QtGlobal>

// Bounds on hostile or damaged input. Anything beyond them is refused, never attempted.
namespace workbook::limits
{

// A workbook file is read into memory whole; larger files are refused.
constexpr qint64 kMaxFileSize = qint64(1) << 30;
// A zip entry that inflates beyond this is refused.
constexpr qint64 kMaxPartSize = qint64(1) << 30;
// Above kBombRatioFloor inflated bytes, an entry may be at most kMaxBombRatio times its
// compressed size (small, highly compressible parts are normal).
constexpr qint64 kBombRatioFloor = qint64(10) << 20;
constexpr qint64 kMaxBombRatio = 200;
// What one workbook may hold inflated at once (changed parts awaiting the save, the string
// table, the part being read): at most kMaxWorkbookInflated, and at most
// kWorkbookInflatedRatio times the file's size, though never less than kWorkbookInflatedFloor
// (a small workbook may still grow by its replacements).
constexpr qint64 kMaxWorkbookInflated = qint64(2) << 30;
constexpr qint64 kWorkbookInflatedRatio = 200;
constexpr qint64 kWorkbookInflatedFloor = qint64(64) << 20;
// A package written back must fit one QByteArray.
constexpr qint64 kMaxPackageSize = qint64(0x7fffffff) - 64;
// Zip entries in one package.
constexpr int kMaxZipEntries = 100000;
// Element nesting in any XML part.
constexpr int kMaxXmlDepth = 256;
// Cells in one sheet part, and strings in the shared string table.
constexpr qint64 kMaxCellsPerPart = 10000000;
constexpr qint64 kMaxSharedStrings = 10000000;
// Array formulas whose areas span one row: each cell is checked against them.
constexpr int kMaxArrayFormulasPerRow = 4096;
// Sheets in one workbook (Excel's own grid limits make more meaningless).
constexpr int kMaxSheets = 65535;

} // namespace workbook::limits

// Compound files (.xls): sectors in one chain (FAT, directory, mini FAT, a stream), and
// directory entries. A stream is never larger than the file that holds it.
namespace workbook::limits
{
constexpr qint64 kMaxSectorChain = qint64(1) << 20;
constexpr qint64 kMaxDirectoryEntries = qint64(1) << 16;
} // namespace workbook::limits

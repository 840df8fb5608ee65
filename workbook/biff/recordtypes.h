#pragma once

#include <QtGlobal>

// BIFF8 record types that the reader looks at.
namespace workbook::biff::rt
{
constexpr quint16 kFormula = 0x0006;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kCalcCount = 0x000C;
constexpr quint16 kCalcMode = 0x000D;
constexpr quint16 kRefMode = 0x000F;
constexpr quint16 kDelta = 0x0010;
constexpr quint16 kIteration = 0x0011;
constexpr quint16 kProtect = 0x0012;
constexpr quint16 kPassword = 0x0013;
constexpr quint16 kHeader = 0x0014;
constexpr quint16 kFooter = 0x0015;
constexpr quint16 kExternSheet = 0x0017;
constexpr quint16 kName = 0x0018;
constexpr quint16 kVerticalPageBreaks = 0x001A;
constexpr quint16 kHorizontalPageBreaks = 0x001B;
constexpr quint16 kDateMode = 0x0022;
constexpr quint16 kExternName = 0x0023;
constexpr quint16 kLeftMargin = 0x0026;
constexpr quint16 kRightMargin = 0x0027;
constexpr quint16 kTopMargin = 0x0028;
constexpr quint16 kBottomMargin = 0x0029;
constexpr quint16 kPrintHeaders = 0x002A;
constexpr quint16 kPrintGridlines = 0x002B;
constexpr quint16 kFilePass = 0x002F;
constexpr quint16 kPrintSize = 0x0033;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kPls = 0x004D;
constexpr quint16 kDConRef = 0x0051;
constexpr quint16 kDefColWidth = 0x0055;
constexpr quint16 kObj = 0x005D;
constexpr quint16 kUncalced = 0x005E;
constexpr quint16 kSaveRecalc = 0x005F;
constexpr quint16 kObjProtect = 0x0063;
constexpr quint16 kColInfo = 0x007D;
constexpr quint16 kImData = 0x007F;
constexpr quint16 kGuts = 0x0080;
constexpr quint16 kWsBool = 0x0081;
constexpr quint16 kGridSet = 0x0082;
constexpr quint16 kHCenter = 0x0083;
constexpr quint16 kVCenter = 0x0084;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kWriteProtect = 0x0086;
constexpr quint16 kSync = 0x0097;
constexpr quint16 kLPr = 0x0098;
constexpr quint16 kSetup = 0x00A1;
constexpr quint16 kMulRk = 0x00BD;
constexpr quint16 kRString = 0x00D6;
constexpr quint16 kScenarioProtect = 0x00DD;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kBkHim = 0x00E9;
constexpr quint16 kMsoDrawingGroup = 0x00EB;
constexpr quint16 kMsoDrawing = 0x00EC;
constexpr quint16 kMsoDrawingSelection = 0x00ED;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kSupBook = 0x01AE;
constexpr quint16 kTxo = 0x01B6;
constexpr quint16 kHLink = 0x01B8;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kLabel = 0x0204;
constexpr quint16 kBoolErr = 0x0205;
constexpr quint16 kString = 0x0207;
constexpr quint16 kIndex = 0x020B;
constexpr quint16 kArray = 0x0221;
constexpr quint16 kDefaultRowHeight = 0x0225;
constexpr quint16 kTable = 0x0236;
constexpr quint16 kWindow2 = 0x023E;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kFormat = 0x041E;
constexpr quint16 kShrFmla = 0x04BC;
constexpr quint16 kBof = 0x0809;
constexpr quint16 kUserSViewBegin = 0x01AA;
constexpr quint16 kUserSViewEnd = 0x01AB;
constexpr quint16 kHeaderFooter = 0x089C;
constexpr quint16 kUnits = 0x1001;
constexpr quint16 kChart = 0x1002;
constexpr quint16 kMulBlank = 0x00BE;
constexpr quint16 kDbCell = 0x00D7;
constexpr quint16 kExtSst = 0x00FF;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kRow = 0x0208;
// BOF record types of the older versions, which are refused by name.
constexpr quint16 kBofBiff2 = 0x0009;
constexpr quint16 kBofBiff3 = 0x0209;
constexpr quint16 kBofBiff4 = 0x0409;
} // namespace workbook::biff::rt

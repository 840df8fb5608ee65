#include "workbook/biff/biffworkbook.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/limits.h"
#include "workbook/text/formulasheetrename.h"

namespace workbook::biff
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

QString builtInName(int code)
{
    static const char *const names[] = {
        "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
        "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
        "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
    if (code >= 0 && code < int(sizeof names / sizeof names[0]))
        return QLatin1String(names[code]);
    return QString();
}

QString hex4(quint16 v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

} // namespace

std::unique_ptr<BiffWorkbook> BiffWorkbook::read(const cfb::StreamBytes &stream, QString *reason)
{
    std::unique_ptr<BiffWorkbook> wb(new BiffWorkbook);
    wb->m_stream = stream;
    if (!wb->readGlobals(reason))
        return nullptr;
    return wb;
}

const QByteArray &BiffWorkbook::stream() const
{
    if (m_joined.isNull() && m_stream.size() > 0)
        m_joined = m_stream.joined();
    return m_joined;
}

bool BiffWorkbook::readGlobals(QString *reason)
{
    RecordReader reader(m_stream, 0);
    Record r;
    if (!reader.next(&r) || r.type != rt::kBof) {
        setReason(reason, QStringLiteral("expected a BOF record at the start of the workbook "
                                         "stream"));
        return false;
    }
    const quint16 version = r.body.u16();
    const quint16 kind = r.body.u16();
    if (version != 0x0600 || kind != 0x0005) {
        setReason(reason, QStringLiteral("expected the BIFF8 workbook globals (BOF 0600/0005), "
                                         "found BOF %1/%2")
                              .arg(hex4(version), hex4(kind)));
        return false;
    }
    bool sawEof = false;
    while (!sawEof && reader.next(&r)) {
        cfb::ByteCursor &c = r.body;
        switch (r.type) {
        case rt::kEof:
            sawEof = true;
            break;
        case rt::kFilePass:
            setReason(reason, QStringLiteral("password-protected: the workbook stream is "
                                             "encrypted (FILEPASS)"));
            return false;
        case rt::kDateMode:
            m_dateSystem = c.u16() == 1 ? DateSystem::Date1904 : DateSystem::Date1900;
            break;
        case rt::kProtect:
            m_structureProtected = c.u16() != 0;
            break;
        case rt::kBoundSheet: {
            if (m_sheets.size() >= limits::kMaxSheets) {
                setReason(reason,
                          QStringLiteral("expected at most %1 sheets").arg(limits::kMaxSheets));
                return false;
            }
            SheetEntry s;
            s.offset = c.u32();
            const quint8 state = c.u8() & 0x03;
            s.visibility = state == 1   ? SheetVisibility::Hidden
                           : state == 2 ? SheetVisibility::VeryHidden
                                        : SheetVisibility::Visible;
            s.type = SheetType(c.u8());
            s.name = BiffString::read(c, 1, r.continues);
            if (!c.ok()) {
                setReason(
                    reason,
                    QStringLiteral("BOUNDSHEET8 record at offset %1 cut short").arg(r.offset));
                return false;
            }
            m_sheets.append(s);
            break;
        }
        case rt::kSst: {
            m_hasSharedStringTable = true;
            m_sharedStringUses = c.u32();
            const quint32 unique = c.u32();
            if (qint64(unique) > limits::kMaxSharedStrings) {
                setReason(reason, QStringLiteral("expected at most %1 shared strings, found %2")
                                      .arg(limits::kMaxSharedStrings)
                                      .arg(unique));
                return false;
            }
            // Each string takes at least three bytes: no count can reserve more than that.
            m_sharedStringStarts.clear();
            m_sharedStringStarts.reserve(int(qMin<qint64>(unique, c.remaining() / 3 + 1)));
            for (quint32 i = 0; i < unique && !c.atEnd(); ++i) {
                m_sharedStringStarts.append(quint32(c.position()));
                if (!BiffString::skip(c, 2, r.continues)) {
                    setReason(reason, QStringLiteral("shared string %1 of %2 runs past the end "
                                                     "of the string table")
                                          .arg(i)
                                          .arg(unique));
                    return false;
                }
            }
            c.seek(0);
            m_sharedStringTable = c;
            m_sharedStringContinues = r.continues;
            break;
        }
        case rt::kFormat: {
            const quint16 id = c.u16();
            const QString code = BiffString::read(c, 2, r.continues);
            if (c.ok())
                m_formats.insert(id, code);
            break;
        }
        case rt::kXf: {
            Xf xf;
            c.u16();
            xf.format = c.u16();
            xf.locked = c.u16() & 0x0001;
            m_xfs.append(xf);
            break;
        }
        case rt::kSupBook: {
            SupBook sb;
            const quint16 count = c.u16();
            const quint16 cch = c.u16();
            if (cch == 0x0401) {
                sb.kind = SupBookKind::Self;
            } else if (cch == 0x3A01) {
                sb.kind = SupBookKind::AddIn;
            } else {
                sb.externalNumber = ++m_externalBooks;
                BiffString::readNoCount(c, cch, r.continues);
                for (int i = 0; i < count && c.ok(); ++i)
                    sb.sheetNames.append(BiffString::read(c, 2, r.continues));
            }
            m_supBooks.append(sb);
            break;
        }
        case rt::kExternName: {
            if (m_supBooks.isEmpty())
                break;
            c.skip(6);
            const QString name = BiffString::read(c, 1, r.continues);
            m_supBooks.last().externNames.append(c.ok() ? name : QString());
            break;
        }
        case rt::kExternSheet: {
            const int count = c.u16();
            for (int i = 0; i < count && c.remaining() >= 6; ++i) {
                Xti x;
                x.supBook = c.u16();
                x.first = qint16(c.u16());
                x.last = qint16(c.u16());
                m_xtis.append(x);
            }
            break;
        }
        case rt::kName: {
            const quint16 flags = c.u16();
            c.u8();
            const int cch = c.u8();
            c.skip(2 + 2);
            const int itab = c.u16();
            c.skip(4);
            QString name = BiffString::readNoCount(c, cch, r.continues);
            if (flags & 0x0020)
                name = builtInName(name.isEmpty() ? -1 : name.at(0).unicode());
            m_names.append(c.ok() ? name : QString());
            m_nameSheets.append(itab - 1);
            break;
        }
        default:
            break;
        }
    }
    if (!reader.error().isEmpty()) {
        setReason(reason, QStringLiteral("workbook globals: %1").arg(reader.error()));
        return false;
    }
    if (!sawEof) {
        setReason(reason, QStringLiteral("expected the EOF record of the workbook globals"));
        return false;
    }
    m_kindCache.fill(-1, m_xfs.size());
    return true;
}

QString BiffWorkbook::sharedString(int index) const
{
    if (index < 0 || index >= m_sharedStringStarts.size())
        return QString();
    cfb::ByteCursor c = m_sharedStringTable;
    c.seek(m_sharedStringStarts[index]);
    return BiffString::read(c, 2, m_sharedStringContinues);
}

NumberFormatKind BiffWorkbook::numberFormatKind(int xf) const
{
    if (xf < 0 || xf >= m_xfs.size())
        return NumberFormatKind::General;
    if (m_kindCache[xf] < 0) {
        const int id = m_xfs[xf].format;
        m_kindCache[xf] = qint8(NumberFormatClassifier::classify(id, m_formats.value(id)));
    }
    return NumberFormatKind(m_kindCache[xf]);
}

bool BiffWorkbook::sheetPrefix(int ixti, QString *out) const
{
    if (ixti < 0 || ixti >= m_xtis.size())
        return false;
    const Xti &x = m_xtis[ixti];
    if (x.supBook < 0 || x.supBook >= m_supBooks.size())
        return false;
    const SupBook &sb = m_supBooks[x.supBook];
    if (sb.kind == SupBookKind::Self) {
        if (x.first < 0 || x.last < 0 || x.first >= m_sheets.size() || x.last >= m_sheets.size()) {
            *out = QStringLiteral("#REF!");
            return true;
        }
        const QString &first = m_sheets[x.first].name;
        const QString &last = m_sheets[x.last].name;
        *out = FormulaSheetRename::quoted(first, x.first == x.last ? QString() : last) +
               QLatin1Char('!');
        return true;
    }
    const QString book = QStringLiteral("[%1]").arg(sb.externalNumber);
    if (x.first < 0 || x.first >= sb.sheetNames.size()) {
        *out = book + QStringLiteral("#REF!");
        return true;
    }
    const QString first = sb.sheetNames[x.first];
    const QString last = x.last >= 0 && x.last < sb.sheetNames.size() && x.last != x.first
                             ? sb.sheetNames[x.last]
                             : QString();
    QString q = FormulaSheetRename::quoted(first, last);
    if (q.startsWith(QLatin1Char('\'')))
        q.insert(1, book);
    else
        q.prepend(book);
    *out = q + QLatin1Char('!');
    return true;
}

bool BiffWorkbook::definedName(int index, QString *out) const
{
    if (index < 1 || index > m_names.size())
        return false;
    *out = m_names[index - 1];
    return true;
}

bool BiffWorkbook::externalName(int ixti, int index, QString *out) const
{
    if (ixti < 0 || ixti >= m_xtis.size())
        return false;
    const int book = m_xtis[ixti].supBook;
    if (book < 0 || book >= m_supBooks.size())
        return false;
    const SupBook &sb = m_supBooks[book];
    // Names of this workbook reached through its own entry.
    if (sb.kind == SupBookKind::Self)
        return definedName(index, out);
    if (index < 1 || index > sb.externNames.size())
        return false;
    *out = sb.kind == SupBookKind::External
               ? QStringLiteral("[%1]!").arg(sb.externalNumber) + sb.externNames[index - 1]
               : sb.externNames[index - 1];
    return true;
}

bool BiffWorkbook::sheetIndex(int book, const QString &firstSheet, const QString &lastSheet,
                              int *ixti, QString *reason) const
{
    const QString &last = lastSheet.isEmpty() ? firstSheet : lastSheet;
    auto position = [](const QStringList &names, const QString &name) {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    QStringList names;
    int supBook = -1;
    for (int i = 0; i < m_supBooks.size() && supBook < 0; ++i) {
        const SupBook &sb = m_supBooks[i];
        if (book == 0 && sb.kind == SupBookKind::Self)
            supBook = i;
        else if (book > 0 && sb.kind == SupBookKind::External && sb.externalNumber == book)
            supBook = i;
    }
    if (book == 0) {
        for (const SheetEntry &e : m_sheets)
            names.append(e.name);
    } else if (supBook >= 0) {
        names = m_supBooks[supBook].sheetNames;
    }
    const int first = position(names, firstSheet);
    const int lastIndex = position(names, last);
    const QString what = lastSheet.isEmpty() ? firstSheet : firstSheet + QLatin1Char(':') + last;
    if (first < 0 || lastIndex < 0) {
        if (reason)
            *reason =
                book == 0
                    ? QStringLiteral("no sheet named %1").arg(what)
                    : QStringLiteral("external workbook [%1] has no sheet %2").arg(book).arg(what);
        return false;
    }
    for (int i = 0; i < m_xtis.size(); ++i) {
        const Xti &x = m_xtis[i];
        if (x.supBook == supBook && x.first == first && x.last == lastIndex) {
            *ixti = i;
            return true;
        }
    }
    if (reason)
        *reason = QStringLiteral("the workbook has no EXTERNSHEET entry for %1 yet").arg(what);
    return false;
}

bool BiffWorkbook::deletedSheetIndex(int *ixti) const
{
    for (int i = 0; i < m_xtis.size(); ++i) {
        const Xti &x = m_xtis[i];
        if (x.supBook >= 0 && x.supBook < m_supBooks.size() &&
            m_supBooks[x.supBook].kind == SupBookKind::Self &&
            (x.first < 0 || x.first >= m_sheets.size())) {
            *ixti = i;
            return true;
        }
    }
    return false;
}

bool BiffWorkbook::definedNameIndex(const QString &name, int sheet, int *index) const
{
    int global = -1;
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names[i].compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (sheet >= 0 && m_nameSheets[i] == sheet) {
            *index = i + 1;
            return true;
        }
        if (m_nameSheets[i] < 0 && global < 0)
            global = i;
    }
    if (global < 0)
        return false;
    *index = global + 1;
    return true;
}

bool BiffWorkbook::externalNameIndex(int book, const QString &name, int *ixti, int *index) const
{
    for (int i = 0; i < m_xtis.size(); ++i) {
        const int b = m_xtis[i].supBook;
        if (b < 0 || b >= m_supBooks.size())
            continue;
        const SupBook &sb = m_supBooks[b];
        const bool wanted = book == 0
                                ? sb.kind == SupBookKind::AddIn
                                : sb.kind == SupBookKind::External && sb.externalNumber == book;
        if (!wanted)
            continue;
        for (int n = 0; n < sb.externNames.size(); ++n) {
            if (sb.externNames[n].compare(name, Qt::CaseInsensitive) == 0) {
                *ixti = i;
                *index = n + 1;
                return true;
            }
        }
    }
    return false;
}

} // namespace workbook::biff

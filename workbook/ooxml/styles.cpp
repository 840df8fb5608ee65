#include "workbook/ooxml/styles.h"

#include "workbook/xml/xmlscanner.h"

#include <QHash>

namespace workbook::ooxml
{

bool Styles::parse(const QByteArray &xml, Styles *out, QString *reason)
{
    *out = Styles();
    QHash<int, QString> codes;
    struct RawXf {
        int numFmtId = 0;
        bool locked = true;
    };
    QVector<RawXf> xfs;
    xml::XmlScanner s(xml);
    bool inCellXfs = false;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            break;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("styles: %1").arg(s.errorString());
            return false;
        }
        if (t == xml::XmlScanner::EndElement && s.depth() == 2)
            inCellXfs = false;
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (s.depth() == 2) {
            inCellXfs = local == "cellXfs";
        } else if (s.depth() == 3 && local == "numFmt") {
            QString id, code;
            s.attributeText("numFmtId", &id);
            s.attributeText("formatCode", &code);
            codes.insert(id.toInt(), code);
        } else if (s.depth() == 3 && inCellXfs && local == "xf") {
            RawXf xf;
            QString id;
            if (s.attributeText("numFmtId", &id))
                xf.numFmtId = id.toInt();
            xfs.append(xf);
        } else if (s.depth() == 4 && inCellXfs && local == "protection" && !xfs.isEmpty()) {
            QString v;
            if (s.attributeText("locked", &v))
                xfs.last().locked = !(v == QLatin1String("0") || v == QLatin1String("false"));
        }
    }
    out->m_xfs.reserve(xfs.size());
    for (const RawXf &raw : xfs) {
        Xf xf;
        xf.locked = raw.locked;
        xf.kind = NumberFormatClassifier::classify(raw.numFmtId, codes.value(raw.numFmtId));
        out->m_xfs.append(xf);
    }
    return true;
}

NumberFormatKind Styles::kind(int xf) const
{
    return xf >= 0 && xf < m_xfs.size() ? m_xfs[xf].kind : NumberFormatKind::General;
}

bool Styles::locked(int xf) const
{
    return xf >= 0 && xf < m_xfs.size() ? m_xfs[xf].locked : true;
}

} // namespace workbook::ooxml

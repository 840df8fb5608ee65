#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::ooxml
{

// [Content_Types].xml: the media type of every part.
class ContentTypes
{
public:
    static bool parse(const QByteArray &xml, ContentTypes *out, QString *reason);

    QString typeOf(const QString &partName) const;
    // The document without the Override for partName (the same bytes when there is none);
    // false when it could not be made.
    bool withoutOverride(const QString &partName, QByteArray *out) const;

private:
    // Attribute values are kept as ranges of m_xml and decoded only when asked for: a
    // workbook is opened for its one main type, and most runs never ask again.
    struct Value {
        qsizetype at = 0;
        qsizetype size = 0;
    };
    struct Override {
        Value partName;
        Value type;
        qsizetype begin = 0;
        qsizetype end = 0;
    };
    struct Default {
        Value extension;
        Value type;
    };
    QString text(const Value &v) const;
    bool matches(const Value &v, const QString &name) const;

    QByteArray m_xml;
    QVector<Override> m_overrides;
    QVector<Default> m_defaults;
};

} // namespace workbook::ooxml

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
    // The document without the Override for partName; false when there is none.
    bool withoutOverride(const QString &partName, QByteArray *out) const;

private:
    struct Override {
        QString partName;
        QString type;
        qsizetype begin = 0;
        qsizetype end = 0;
    };
    QByteArray m_xml;
    QVector<Override> m_overrides;
    QVector<QPair<QString, QString>> m_defaults; // extension, type
};

} // namespace workbook::ooxml

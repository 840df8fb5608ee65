#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace workbook::ooxml
{

// One relationships part (*.rels): what a part refers to.
class Relationships
{
public:
    struct Relationship {
        QString id;
        QString type;
        QString target; // resolved part name unless external
        bool external = false;
        qsizetype begin = 0; // byte range of the <Relationship> element
        qsizetype end = 0;
    };

    // sourcePart is the part the relationships belong to ("/" for the package).
    static bool parse(const QByteArray &xml, const QString &sourcePart, Relationships *out,
                      QString *reason);

    const QVector<Relationship> &all() const { return m_relationships; }
    const Relationship *byId(const QString &id) const;
    // The first relationship whose type ends with "/" + typeSuffix (transitional and strict
    // namespaces differ only before it).
    const Relationship *firstOfType(const QString &typeSuffix) const;
    static bool hasType(const Relationship &r, const QString &typeSuffix);

private:
    QVector<Relationship> m_relationships;
    QHash<QString, int> m_byId; // a workbook may hold tens of thousands
};

} // namespace workbook::ooxml

#pragma once

#include "workbook/edit/stringtable.h"
#include "workbook/text/numberformatclassifier.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::ooxml
{

// What the server needs of the styles part: per cell format (xf), how its number format
// shows numbers and whether the cell is locked.
class Styles : public edit::StyleFacts
{
public:
    static bool parse(const QByteArray &xml, Styles *out, QString *reason);

    NumberFormatKind kind(int xf) const override;
    bool locked(int xf) const override;

private:
    struct Xf {
        NumberFormatKind kind = NumberFormatKind::General;
        bool locked = true;
    };
    QVector<Xf> m_xfs;
};

} // namespace workbook::ooxml

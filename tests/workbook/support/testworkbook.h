#pragma once

#include "tests/workbook/support/zipcontents.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// Builds .xlsx packages for tests, part by part, the way Excel lays them out.
class TestWorkbook
{
public:
    struct Sheet {
        QString name;
        QByteArray xml;                 // the whole part; see worksheet()
        QString kind = "worksheet";     // chartsheet, dialogsheet, macrosheet
        QString state;                  // hidden, veryHidden
        QMap<QString, QByteArray> rels; // extra parts this sheet refers to: target -> type
    };

    QVector<Sheet> sheets;
    void addSheet(const QString &name, const QByteArray &xml, const QString &kind = "worksheet",
                  const QString &state = QString())
    {
        Sheet s;
        s.name = name;
        s.xml = xml;
        s.kind = kind;
        s.state = state;
        sheets.append(s);
    }
    QStringList sharedStrings;   // plain items; or set sharedStringsXml
    QByteArray sharedStringsXml; // whole part, overrides sharedStrings
    QByteArray stylesXml;        // whole part; a default with percent/date/unlocked xfs
    QByteArray workbookBody;     // inserted after </sheets> (definedNames, calcPr ...)
    bool date1904 = false;
    bool calcChain = false;
    QByteArray appXml;                    // docProps/app.xml, none when empty
    QMap<QString, QByteArray> extraParts; // "/xl/charts/chart1.xml" -> content

    // Default styles: xf 0 General, 1 percent (id 9), 2 date (id 14), 3 time (id 21),
    // 4 General unlocked, 5 custom date yyyy-mm-dd.
    static QByteArray defaultStyles();
    static QByteArray worksheet(const QByteArray &sheetData, const QByteArray &afterSheetData = {},
                                const QByteArray &beforeSheetData = {});

    QByteArray build() const;
    bool write(const QString &path) const;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::cfb
{

class CompoundFile;

// Writes a compound file with some streams' content replaced, the rest of it as it was.
class CompoundFileWriter
{
public:
    struct Replacement {
        int entry = -1; // a stream's directory entry in the parsed file
        QByteArray content;
    };

    // file: the bytes `parsed` was opened from. Every other stream and storage and every
    // directory field but a replaced stream's start and size stay byte for byte; a replaced
    // stream reuses its own sectors first. False with *reason when it cannot be written.
    static bool rewrite(const QByteArray &file, const CompoundFile &parsed,
                        const QVector<Replacement> &replacements, QByteArray *out, QString *reason);
};

} // namespace workbook::cfb

#pragma once

#include "platform/bytesink.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <memory>

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

    CompoundFileWriter();
    ~CompoundFileWriter();
    CompoundFileWriter(const CompoundFileWriter &) = delete;
    CompoundFileWriter &operator=(const CompoundFileWriter &) = delete;

    // The same in two steps, so that the new file need never be whole in memory: plan()
    // makes every check that can refuse it (file and parsed must outlive the writer), then
    // write() hands it to a sink in order, failing only when the sink does.
    bool plan(const QByteArray &file, const CompoundFile &parsed,
              const QVector<Replacement> &replacements, QString *reason);
    bool write(ByteSink &sink) const;
    // The planned file's size in bytes.
    qint64 size() const;

private:
    struct Plan;
    std::unique_ptr<Plan> m_plan;
};

} // namespace workbook::cfb

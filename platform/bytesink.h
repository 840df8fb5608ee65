#pragma once

#include <QByteArray>
#include <QtGlobal>

// Takes a file's content in pieces, in order, so that a large file need never be whole in
// memory before it is written.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // False when the piece could not be taken; nothing more should be given then.
    virtual bool Write(const char *data, qint64 size) = 0;
};

// Gathers the pieces in memory, for content that is wanted whole.
class ByteArraySink : public ByteSink
{
public:
    bool Write(const char *data, qint64 size) override
    {
        m_bytes.append(data, int(size));
        return true;
    }
    const QByteArray &Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

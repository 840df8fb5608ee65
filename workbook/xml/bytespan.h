#pragma once

#include <QByteArray>
#include <QString>
#include <cstring>

namespace workbook::xml
{

// A view of bytes inside a part's buffer, with its offset there; nothing is copied.
struct ByteSpan {
    const char *data = nullptr;
    qsizetype size = 0;

    bool isEmpty() const { return size == 0; }
    bool operator==(const char *literal) const
    {
        const size_t n = std::strlen(literal);
        return size_t(size) == n && std::memcmp(data, literal, n) == 0;
    }
    bool operator!=(const char *literal) const { return !(*this == literal); }
    bool equals(const ByteSpan &o) const
    {
        return size == o.size && std::memcmp(data, o.data, size_t(size)) == 0;
    }
    QByteArray toByteArray() const { return QByteArray(data, int(size)); }
    QString toUtf8String() const { return QString::fromUtf8(data, int(size)); }
};

} // namespace workbook::xml

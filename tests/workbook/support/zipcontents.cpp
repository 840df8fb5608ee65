#include "tests/workbook/support/zipcontents.h"

#include <zip.h>

QByteArray ZipContents::makeZip(const QVector<QPair<QString, QByteArray>> &entries, bool store)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t *z = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    QVector<QByteArray> keep;
    for (const auto &e : entries) {
        keep.append(e.second);
        zip_source_t *s =
            zip_source_buffer(z, keep.last().constData(), zip_uint64_t(keep.last().size()), 0);
        const zip_int64_t i = zip_file_add(z, e.first.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(z, zip_uint64_t(i), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    zip_close(z);
    zip_stat_t st;
    zip_source_stat(buffer, &st);
    QByteArray out(int(st.size), '\0');
    zip_source_open(buffer);
    zip_source_read(buffer, out.data(), st.size);
    zip_source_close(buffer);
    zip_source_free(buffer);
    return out;
}

namespace
{

QByteArray readEntry(zip_t *z, const QString &name, zip_flags_t flags)
{
    if (!z)
        return QByteArray();
    const zip_int64_t i = zip_name_locate(z, name.toUtf8().constData(), ZIP_FL_NOCASE);
    QByteArray out;
    if (i >= 0) {
        zip_stat_t st;
        zip_stat_index(z, zip_uint64_t(i), 0, &st);
        const zip_uint64_t size = (flags & ZIP_FL_COMPRESSED) ? st.comp_size : st.size;
        out.resize(int(size));
        zip_file_t *f = zip_fopen_index(z, zip_uint64_t(i), flags);
        if (f) {
            // Reading on to the end is what makes libzip check the CRC-32.
            char extra;
            const bool whole =
                zip_fread(f, out.data(), size) == zip_int64_t(size) && zip_fread(f, &extra, 1) == 0;
            zip_fclose(f);
            if (!whole)
                out = "unreadable entry";
        }
    }
    zip_discard(z);
    return out;
}

} // namespace

QStringList ZipContents::names(const QString &path)
{
    int err = 0;
    zip_t *z = zip_open(path.toLocal8Bit().constData(), ZIP_RDONLY, &err);
    QStringList out;
    if (!z)
        return out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i)
        out.append(QString::fromUtf8(zip_get_name(z, zip_uint64_t(i), 0)));
    zip_discard(z);
    return out;
}

QByteArray ZipContents::entry(const QString &path, const QString &name)
{
    int err = 0;
    return readEntry(zip_open(path.toLocal8Bit().constData(), ZIP_RDONLY, &err), name, 0);
}

QByteArray ZipContents::rawEntry(const QString &path, const QString &name)
{
    int err = 0;
    return readEntry(zip_open(path.toLocal8Bit().constData(), ZIP_RDONLY, &err), name,
                     ZIP_FL_COMPRESSED);
}

QByteArray ZipContents::entryFromBytes(const QByteArray &bytes, const QString &name)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *s =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    zip_t *z = zip_open_from_source(s, ZIP_RDONLY, &error);
    if (!z)
        zip_source_free(s);
    return readEntry(z, name, 0);
}

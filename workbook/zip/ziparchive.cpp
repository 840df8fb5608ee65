#include "workbook/zip/ziparchive.h"

#include "workbook/limits.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <zip.h>

namespace workbook::zip
{

namespace
{

QString zipErrorText(zip_error_t *error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

QString archiveErrorText(::zip *archive)
{
    return QString::fromLocal8Bit(zip_strerror(archive));
}

// One per thread, reused by every archive: setting one up costs more than inflating a small
// part. Null when out of memory.
libdeflate_decompressor *threadDecompressor()
{
    struct Owner {
        libdeflate_decompressor *d = libdeflate_alloc_decompressor();
        ~Owner() { libdeflate_free_decompressor(d); }
    };
    thread_local Owner owner;
    return owner.d;
}

// Hands libzip content that is already deflated: a source whose statistics name the deflate
// method, the sizes and the CRC-32 is copied into the archive without being compressed again.
struct RawDeflatedSource {
    const DeflatedBytes *bytes = nullptr;
    qint64 at = 0;
    zip_error_t error;
};

zip_int64_t rawDeflatedCallback(void *state, void *data, zip_uint64_t length,
                                zip_source_cmd_t command)
{
    auto *source = static_cast<RawDeflatedSource *>(state);
    const QByteArray &stored = source->bytes->data();
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source->at = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const qint64 n = std::min<qint64>(qint64(length), stored.size() - source->at);
        memcpy(data, stored.constData() + source->at, size_t(n));
        source->at += n;
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!st)
            return -1;
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                    ZIP_STAT_ENCRYPTION_METHOD;
        st->size = zip_uint64_t(source->bytes->size());
        st->comp_size = zip_uint64_t(stored.size());
        st->crc = source->bytes->crc();
        st->comp_method = ZIP_CM_DEFLATE;
        st->encryption_method = ZIP_EM_NONE;
        return zip_int64_t(sizeof(*st));
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&source->error);
        delete source;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

zip_source_t *rawDeflatedSource(::zip *target, const DeflatedBytes &bytes)
{
    auto *state = new RawDeflatedSource;
    state->bytes = &bytes;
    zip_error_init(&state->error);
    zip_source_t *source = zip_source_function(target, rawDeflatedCallback, state);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

quint32 le16(const QByteArray &b, qint64 at)
{
    return quint32(quint8(b[int(at)])) | quint32(quint8(b[int(at + 1)])) << 8;
}

quint32 le32(const QByteArray &b, qint64 at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

} // namespace

// Finds each entry's stored bytes in the archive from the central directory libzip read, so
// that reading them needs neither a copy nor libzip's file layers. Anything unusual (zip64,
// a directory that disagrees with libzip's, a bad local header) leaves the entry to libzip.
void ZipArchive::locateStoredData()
{
    const QByteArray &b = m_bytes;
    const qint64 size = b.size();
    qint64 eocd = -1;
    for (qint64 at = size - 22; at >= 0 && at >= size - 22 - 65535; --at) {
        if (b[int(at)] == 'P' && b[int(at + 1)] == 'K' && b[int(at + 2)] == 5 &&
            b[int(at + 3)] == 6) {
            eocd = at;
            break;
        }
    }
    if (eocd < 0 || le16(b, eocd + 10) != m_entries.size())
        return;
    qint64 at = le32(b, eocd + 16);
    for (size_t index = 0; index < m_entries.size(); ++index) {
        EntryInfo &entry = m_entries[index];
        if (at < 0 || at + 46 > size || le32(b, at) != 0x02014b50)
            return;
        const qint64 nameLength = le16(b, at + 28);
        const char *name = zip_get_name(m_zip, zip_uint64_t(index), ZIP_FL_ENC_RAW);
        const qint64 next = at + 46 + nameLength + le16(b, at + 30) + le16(b, at + 32);
        if (next <= size && memchr(b.constData() + at + 46, 0, size_t(nameLength)))
            m_unwritableName = entry.name;
        const quint32 local = le32(b, at + 42);
        if (next > size || local == 0xFFFFFFFFu || le32(b, at + 20) == 0xFFFFFFFFu ||
            qint64(le32(b, at + 20)) != entry.compressedSize || !name ||
            qint64(strlen(name)) != nameLength ||
            memcmp(b.constData() + at + 46, name, size_t(nameLength)) != 0)
            return;
        entry.storedName = QByteArray(name, int(nameLength));
        entry.storedNameUtf8 = (le16(b, at + 8) & 0x0800) != 0;
        if (qint64(local) + 30 <= size && le32(b, local) == 0x04034b50) {
            const qint64 dataAt = qint64(local) + 30 + le16(b, local + 26) + le16(b, local + 28);
            if (dataAt + entry.compressedSize <= size)
                entry.dataOffset = dataAt;
        }
        at = next;
    }
}

std::unique_ptr<ZipArchive> ZipArchive::open(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<ZipArchive> archive(new ZipArchive);
    archive->m_bytes = bytes;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(
        archive->m_bytes.constData(), zip_uint64_t(archive->m_bytes.size()), 0, &error);
    if (!source) {
        *reason = QStringLiteral("cannot read the zip container: %1").arg(zipErrorText(&error));
        zip_error_fini(&error);
        return nullptr;
    }
    archive->m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive->m_zip) {
        zip_source_free(source);
        *reason = QStringLiteral("expected a readable zip container, found a damaged one (%1)")
                      .arg(zipErrorText(&error));
        zip_error_fini(&error);
        return nullptr;
    }
    zip_error_fini(&error);

    const zip_int64_t count = zip_get_num_entries(archive->m_zip, 0);
    if (count < 0 || count > limits::kMaxZipEntries) {
        *reason = QStringLiteral("expected at most %1 zip entries, found %2")
                      .arg(limits::kMaxZipEntries)
                      .arg(count);
        return nullptr;
    }
    archive->m_entries.reserve(size_t(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive->m_zip, zip_uint64_t(i), 0, &st) != 0) {
            *reason = QStringLiteral("cannot read zip entry %1: %2")
                          .arg(i)
                          .arg(archiveErrorText(archive->m_zip));
            return nullptr;
        }
        EntryInfo info;
        info.name = QString::fromUtf8(st.name ? st.name : "");
        info.size = qint64(st.size);
        info.compressedSize = qint64(st.comp_size);
        info.method = st.comp_method;
        info.encrypted = st.encryption_method != ZIP_EM_NONE;
        info.mtime = qint64(st.mtime);
        info.crc = st.crc;
        archive->m_entries.push_back(info);
    }
    archive->locateStoredData();
    int commentLength = 0;
    const char *comment = zip_get_archive_comment(archive->m_zip, &commentLength, ZIP_FL_ENC_RAW);
    if (comment && commentLength > 0)
        archive->m_comment = QByteArray(comment, commentLength);
    return archive;
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipArchive::read(int index, QByteArray *out, QString *reason) const
{
    if (!withinLimits(index, reason))
        return false;
    const EntryInfo &info = m_entries[size_t(index)];
    QString why;
    const bool ok = info.method == ZIP_CM_DEFLATE ? inflateRaw(index, out, &why)
                                                  : readThroughLibzip(index, out, &why);
    if (!ok)
        *reason = QStringLiteral("zip entry %1: %2").arg(info.name, why);
    return ok;
}

bool ZipArchive::withinLimits(int index, QString *reason) const
{
    const EntryInfo &info = m_entries[size_t(index)];
    auto fail = [&](const QString &why) {
        *reason = QStringLiteral("zip entry %1: %2").arg(info.name, why);
        return false;
    };
    if (info.encrypted)
        return fail(QStringLiteral("expected an unencrypted entry, found an encrypted one"));
    if (info.size > limits::kMaxPartSize)
        return fail(QStringLiteral("expected at most %1 bytes inflated, found %2 declared")
                        .arg(limits::kMaxPartSize)
                        .arg(info.size));
    if (info.size > limits::kBombRatioFloor &&
        info.size > limits::kMaxBombRatio * qMax<qint64>(info.compressedSize, 1))
        return fail(QStringLiteral("expected at most %1 times the compressed size, found %2 "
                                   "bytes from %3")
                        .arg(limits::kMaxBombRatio)
                        .arg(info.size)
                        .arg(info.compressedSize));
    return true;
}

// Deflated entries (nearly all of them) are inflated here in one call into a buffer of the
// declared size, straight from the stored bytes: for the small parts most packages are made
// of, libzip's layered reading through zlib costs more than the inflating itself.
bool ZipArchive::inflateRaw(int index, QByteArray *out, QString *why) const
{
    const EntryInfo &info = m_entries[size_t(index)];
    if (info.compressedSize < 0 || info.compressedSize > m_bytes.size()) {
        *why = QStringLiteral("expected at most %1 stored bytes, found %2 declared")
                   .arg(m_bytes.size())
                   .arg(info.compressedSize);
        return false;
    }
    QByteArray copied;
    const char *stored = nullptr;
    if (info.dataOffset >= 0) {
        stored = m_bytes.constData() + info.dataOffset;
    } else {
        zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), ZIP_FL_COMPRESSED);
        if (!file) {
            *why = QStringLiteral("cannot open: %1").arg(archiveErrorText(m_zip));
            return false;
        }
        copied.resize(int(info.compressedSize));
        const zip_int64_t n = zip_fread(file, copied.data(), zip_uint64_t(copied.size()));
        zip_fclose(file);
        if (n != zip_int64_t(copied.size())) {
            *why = QStringLiteral("expected %1 stored bytes, found fewer").arg(copied.size());
            return false;
        }
        stored = copied.constData();
    }
    libdeflate_decompressor *inflater = threadDecompressor();
    if (!inflater) {
        *why = QStringLiteral("cannot set up inflating");
        return false;
    }
    QByteArray data;
    data.resize(int(info.size));
    size_t got = 0;
    switch (libdeflate_deflate_decompress(inflater, stored, size_t(info.compressedSize),
                                          data.data(), size_t(data.size()), &got)) {
    case LIBDEFLATE_SUCCESS:
        break;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        *why = QStringLiteral("inflates beyond its declared size of %1 bytes").arg(info.size);
        return false;
    default:
        *why = QStringLiteral("expected intact compressed data, found invalid deflate data");
        return false;
    }
    if (got != size_t(info.size)) {
        *why = QStringLiteral("expected %1 bytes, found %2").arg(info.size).arg(got);
        return false;
    }
    if (libdeflate_crc32(0, data.constData(), size_t(data.size())) != info.crc) {
        *why = QStringLiteral("expected intact compressed data, found a CRC error");
        return false;
    }
    *out = data;
    return true;
}

bool ZipArchive::readThroughLibzip(int index, QByteArray *out, QString *why) const
{
    const EntryInfo &info = m_entries[size_t(index)];
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        *why = QStringLiteral("cannot open: %1").arg(archiveErrorText(m_zip));
        return false;
    }
    QByteArray data;
    data.resize(int(info.size));
    qint64 got = 0;
    // Read one byte past the declared size: an entry that inflates further lies about itself.
    for (;;) {
        char extra;
        char *target = got < info.size ? data.data() + got : &extra;
        const zip_uint64_t want = got < info.size ? zip_uint64_t(info.size - got) : 1;
        const zip_int64_t n = zip_fread(file, target, want);
        if (n < 0) {
            *why = QStringLiteral("expected intact compressed data, found: %1")
                       .arg(QString::fromLocal8Bit(zip_error_strerror(zip_file_get_error(file))));
            zip_fclose(file);
            return false;
        }
        if (n == 0)
            break;
        if (got >= info.size) {
            zip_fclose(file);
            *why = QStringLiteral("inflates beyond its declared size of %1 bytes").arg(info.size);
            return false;
        }
        got += n;
    }
    zip_fclose(file);
    if (got != info.size) {
        *why = QStringLiteral("expected %1 bytes, found %2").arg(info.size).arg(got);
        return false;
    }
    *out = data;
    return true;
}

bool ZipArchive::write(const std::vector<OutputEntry> &entries, QByteArray *out,
                       QString *reason) const
{
    if (!m_unwritableName.isNull()) {
        *reason = QStringLiteral("expected zip entry names without NUL bytes, found one in '%1': "
                                 "the package cannot be written back with its names kept")
                      .arg(m_unwritableName);
        return false;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) {
        *reason =
            QStringLiteral("cannot create the new zip container: %1").arg(zipErrorText(&error));
        zip_error_fini(&error);
        return false;
    }
    zip_source_keep(buffer);
    ::zip *target = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!target) {
        *reason =
            QStringLiteral("cannot create the new zip container: %1").arg(zipErrorText(&error));
        zip_error_fini(&error);
        zip_source_free(buffer);
        return false;
    }
    zip_error_fini(&error);
    // Frees both on every way out, an exception (out of memory) included.
    struct Cleanup {
        ::zip *target;
        zip_source_t *buffer;
        ~Cleanup()
        {
            if (target)
                zip_discard(target);
            zip_source_free(buffer);
        }
    } cleanup{target, buffer};
    auto fail = [&](const QString &why) {
        *reason = QStringLiteral("cannot write the new zip container: %1 (%2)")
                      .arg(why, archiveErrorText(target));
        return false;
    };
    for (const OutputEntry &e : entries) {
        zip_source_t *source;
        if (e.sourceIndex >= 0) {
            source = zip_source_zip(target, m_zip, zip_uint64_t(e.sourceIndex), ZIP_FL_COMPRESSED,
                                    0, -1);
        } else {
            source = rawDeflatedSource(target, e.deflated);
        }
        if (!source)
            return fail(e.name);
        // A copied entry keeps its name byte for byte, flagged as it was.
        const EntryInfo *from = e.sourceIndex >= 0 ? &m_entries[size_t(e.sourceIndex)] : nullptr;
        const bool stored = from && !from->storedName.isEmpty();
        const QByteArray name = stored ? from->storedName : e.name.toUtf8();
        const zip_flags_t encoding =
            stored && !from->storedNameUtf8 ? ZIP_FL_ENC_CP437 : ZIP_FL_ENC_UTF_8;
        const zip_int64_t index = zip_file_add(target, name.constData(), source, encoding);
        if (index < 0) {
            zip_source_free(source);
            return fail(e.name);
        }
        if (e.sourceIndex < 0)
            continue; // the method is the source's own: its bytes are copied as they are
        // Keeping the method is what lets libzip copy the compressed bytes as they are.
        if (zip_set_file_compression(target, zip_uint64_t(index), from->method, 0) != 0)
            return fail(e.name);
        if (from->mtime > 0)
            zip_file_set_mtime(target, zip_uint64_t(index), time_t(from->mtime), 0);
    }
    if (!m_comment.isEmpty())
        zip_set_archive_comment(target, m_comment.constData(), zip_uint16_t(m_comment.size()));
    if (zip_close(target) != 0)
        return fail(QStringLiteral("closing"));
    cleanup.target = nullptr; // closed and freed

    zip_stat_t st;
    zip_stat_init(&st);
    QByteArray result;
    if (zip_source_stat(buffer, &st) != 0 || zip_source_open(buffer) != 0) {
        *reason = QStringLiteral("cannot read back the new zip container");
        return false;
    }
    // A package must fit one QByteArray; checked in 64 bits before it is copied out.
    if (st.size > zip_uint64_t(limits::kMaxPackageSize)) {
        zip_source_close(buffer);
        *reason = QStringLiteral("beyond a limit: the new package would be %1 bytes, more than "
                                 "the %2 a package may have")
                      .arg(qulonglong(st.size))
                      .arg(limits::kMaxPackageSize);
        return false;
    }
    result.resize(int(st.size));
    const zip_int64_t n = zip_source_read(buffer, result.data(), st.size);
    zip_source_close(buffer);
    if (n != zip_int64_t(st.size)) {
        *reason = QStringLiteral("cannot read back the new zip container");
        return false;
    }
    *out = result;
    return true;
}

} // namespace workbook::zip

#include "engine/filedigest.h"

#include <QFile>

#ifdef _WIN32
// windows.h comes first: bcrypt.h needs its declarations.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <openssl/evp.h>
#endif

#include <memory>

namespace
{

const qint64 kChunk = 1 << 20;

#ifdef _WIN32
class Hasher
{
public:
    Hasher()
    {
        m_ok =
            BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0) >= 0;
    }
    ~Hasher()
    {
        if (m_hash)
            BCryptDestroyHash(m_hash);
        if (m_algorithm)
            BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    bool add(const char *data, qint64 size)
    {
        return m_ok && BCryptHashData(m_hash, reinterpret_cast<PUCHAR>(const_cast<char *>(data)),
                                      ULONG(size), 0) >= 0;
    }
    bool finish(QByteArray *out)
    {
        out->resize(32);
        return m_ok && BCryptFinishHash(m_hash, reinterpret_cast<PUCHAR>(out->data()), 32, 0) >= 0;
    }

private:
    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    BCRYPT_HASH_HANDLE m_hash = nullptr;
    bool m_ok = false;
};
#else
class Hasher
{
public:
    Hasher() : m_context(EVP_MD_CTX_new())
    {
        m_ok = m_context && EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) == 1;
    }
    ~Hasher() { EVP_MD_CTX_free(m_context); }
    bool add(const char *data, qint64 size)
    {
        return m_ok && EVP_DigestUpdate(m_context, data, size_t(size)) == 1;
    }
    bool finish(QByteArray *out)
    {
        out->resize(EVP_MAX_MD_SIZE);
        unsigned int length = 0;
        if (!m_ok || EVP_DigestFinal_ex(m_context, reinterpret_cast<unsigned char *>(out->data()),
                                        &length) != 1)
            return false;
        out->resize(int(length));
        return true;
    }

private:
    EVP_MD_CTX *m_context;
    bool m_ok = false;
};
#endif

} // namespace

QByteArray FileDigest::Sha256(const QString &path, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    Hasher hasher;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(buffer.get(), kChunk);
        if (n < 0 || (n > 0 && !hasher.add(buffer.get(), n)))
            return QByteArray();
        if (n == 0)
            break;
        total += n;
    }
    QByteArray digest;
    if (!hasher.finish(&digest))
        return QByteArray();
    if (size)
        *size = total;
    return digest.toHex();
}

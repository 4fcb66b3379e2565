#include "platform/Sha256.h"

#include <QFile>

#include <openssl/evp.h>

struct Sha256::State {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(ctx); }
    void reset() { EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr); }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    m_state->reset();
}

Sha256::~Sha256() = default;

void Sha256::add(const char* data, qint64 size)
{
    if (size > 0)
        EVP_DigestUpdate(m_state->ctx, data, size_t(size));
}

QString Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_state->ctx, digest, &length);
    m_state->reset();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

QString Sha256::of(const char* data, qint64 size)
{
    Sha256 h;
    h.add(data, size);
    return h.hex();
}

QString Sha256::of(const QByteArray& bytes)
{
    return of(bytes.constData(), bytes.size());
}

QString Sha256::ofFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    Sha256 h;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = f.read(chunk.data(), chunk.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        h.add(chunk.constData(), n);
    }
    return h.hex();
}

#include "store/PasswordHash.h"

#include <sodium.h>

namespace PasswordHash {

namespace {
bool ready()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}
}

QString hash(const QString& password)
{
    if (!ready())
        return {};
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        return {};
    return QString::fromLatin1(out);
}

bool verify(const QString& storedHash, const QString& password)
{
    if (!ready() || !isHash(storedHash))
        return false;
    const QByteArray h = storedHash.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size())) == 0;
}

bool isHash(const QString& text)
{
    return text.startsWith(QLatin1String("$argon2"));
}

}

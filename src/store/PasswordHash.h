#pragma once

#include <QString>

// Salted password hashes (libsodium crypto_pwhash_str). The typed text is
// compared exactly: case, blanks and every character count.
namespace PasswordHash {

// The hash text of password, or empty text when hashing failed.
QString hash(const QString& password);
// True when password matches the stored hash text exactly.
bool verify(const QString& storedHash, const QString& password);
// True when text looks like a hash made by hash().
bool isHash(const QString& text);

}

#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// SHA-256 of content fed in pieces, as it streams past (OpenSSL's digest,
// which uses the processor's SHA instructions where there are any).
//
//   Sha256 h;
//   while (...) h.add(chunk, n);
//   const QString hex = h.hex();  // 64 lower-case hex digits
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, qint64 size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    // The digest of everything added so far, as hex; the hash starts again after.
    QString hex();

    // The digest of bytes, as hex.
    static QString of(const QByteArray& bytes);
    static QString of(const char* data, qint64 size);
    // The digest of the file at path, read in chunks; empty when it cannot be read.
    static QString ofFile(const QString& path);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#pragma once

#include "platform/Result.h"

#include <QString>
#include <memory>

// A lock held on a file for as long as the object lives: a second holder,
// in this process or another, is refused. The system releases it when the
// holder ends in any way, a kill included, so a lock is never left behind;
// the file itself stays and means nothing on its own (a copied Data folder
// carries no lock with it).
class InstanceLock {
public:
    // The lock file's name inside the folder it guards.
    static inline const QString FileName = QStringLiteral(".korvane.lock");

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Outcome of acquire(): the lock; or a failure, `held` telling whether
    // another holder has it (rather than the file not being usable at all).
    struct Attempt {
        std::shared_ptr<InstanceLock> lock;
        bool held = false;
        QString detail;
    };
    static Attempt acquire(const QString& path);

    QString path() const { return m_path; }

private:
    InstanceLock(QString path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    QString m_path;
    int m_fd = -1;
};

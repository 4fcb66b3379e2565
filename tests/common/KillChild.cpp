#include "common/KillChild.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace KillChild {

bool runAndKill(const std::function<void()>& work, int delayMs)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    ::usleep(useconds_t(delayMs) * 1000);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool freeze(const QString& path, bool frozen)
{
    if (::geteuid() == 0) {
        QProcess p;
        p.start(QStringLiteral("chattr"), {frozen ? QStringLiteral("+i") : QStringLiteral("-i"), path});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    struct stat st;
    const QByteArray p = QFile::encodeName(path);
    if (::stat(p.constData(), &st) != 0)
        return false;
    const mode_t write = S_IWUSR | S_IWGRP | S_IWOTH;
    return ::chmod(p.constData(), frozen ? (st.st_mode & ~write) : (st.st_mode | S_IWUSR)) == 0;
}

}

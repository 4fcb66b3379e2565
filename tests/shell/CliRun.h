#pragma once

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// korvane-cli run as a user runs it, as a child process: exit status,
// stdout and stderr. No password or group password comes from the
// environment unless env gives one; no display.
struct Ran {
    int status = -1;  // -1: it did not end normally within two minutes
    QString out, err;
};

inline Ran cli(const QString& home, const QStringList& args, const QMap<QString, QString>& env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("KORVANE_PASSWORD"));
    e.remove(QStringLiteral("KORVANE_GROUP_PASSWORD"));
    e.remove(QStringLiteral("DISPLAY"));
    e.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        e.insert(it.key(), it.value());
    p.setProcessEnvironment(e);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(KV_CLI), QStringList{QStringLiteral("--home"), home} + args);
    Ran r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

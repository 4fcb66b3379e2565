#include "platform/Terminal.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

QString sizeText(qint64 bytes)
{
    if (bytes >= qint64(1) << 30)
        return QString::number(double(bytes) / double(qint64(1) << 30), 'f', 2) + QStringLiteral(" GB");
    if (bytes >= qint64(1) << 20)
        return QString::number(double(bytes) / double(qint64(1) << 20), 'f', 1) + QStringLiteral(" MB");
    return QString::number(bytes / 1024) + QStringLiteral(" KB");
}

}  // namespace

namespace Terminal {

bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

QString readSecret(const QString& prompt, bool* ok)
{
    *ok = false;
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return {};
    const QByteArray p = prompt.toUtf8();
    if (::write(fd, p.constData(), size_t(p.size())) < 0) {
        ::close(fd);
        return {};
    }
    termios saved{};
    const bool haveTerm = ::tcgetattr(fd, &saved) == 0;
    if (haveTerm) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    char c = 0;
    bool got = false;
    while (::read(fd, &c, 1) == 1) {
        got = true;
        if (c == '\n')
            break;
        line.append(c);
    }
    if (haveTerm)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);
    if (line.endsWith('\r'))
        line.chop(1);
    *ok = got;
    return QString::fromUtf8(line);
}

void catchInterrupt()
{
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;  // the second one ends the process
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

bool interrupted()
{
    return g_interrupted != 0;
}

}  // namespace Terminal

TerminalProgress::TerminalProgress(QString label, bool bytes)
    : m_label(std::move(label)), m_bytes(bytes), m_shown(Terminal::isTerminal(STDERR_FILENO))
{
    m_timer.start();
}

TerminalProgress::~TerminalProgress()
{
    clear();
}

void TerminalProgress::setRange(qint64 minimum, qint64 maximum)
{
    m_min = minimum;
    m_max = maximum;
    m_value = minimum;
}

void TerminalProgress::setValue(qint64 value)
{
    m_value = value;
    if (m_shown && (m_timer.elapsed() >= 100 || !m_drawn)) {
        m_timer.restart();
        draw();
    }
}

bool TerminalProgress::cancelled() const
{
    return Terminal::interrupted();
}

void TerminalProgress::clear()
{
    if (m_shown && m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

void TerminalProgress::draw()
{
    constexpr int Width = 30;
    const qint64 span = m_max - m_min;
    const double part = span > 0 ? qBound(0.0, double(m_value - m_min) / double(span), 1.0) : 0.0;
    const int filled = int(part * Width);
    QString line = QStringLiteral("\r") + m_label + QStringLiteral(" [") + QString(filled, QLatin1Char('#'))
        + QString(Width - filled, QLatin1Char('.')) + QStringLiteral("] %1%").arg(int(part * 100));
    if (m_bytes)
        line += QStringLiteral("  ") + sizeText(m_value - m_min) + QStringLiteral(" / ") + sizeText(span);
    else
        line += QStringLiteral("  %1/%2").arg(m_value - m_min).arg(span);
    line += QStringLiteral("\033[K");
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

#include "Terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace {

// The settings to put back when a signal ends the program while echo is off; only what a signal
// handler may touch.
volatile sig_atomic_t g_ttyFd = -1;
termios g_saved{};

extern "C" void restoreAndDie(int signal)
{
    if (g_ttyFd >= 0)
        ::tcsetattr(g_ttyFd, TCSANOW, &g_saved);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Ctrl+C (and the other ways a terminal ends a program) at the prompt still end the program, as
// always, but never leave the terminal without echo.
class EchoRestorer
{
public:
    EchoRestorer(int fd, const termios &saved)
    {
        g_saved = saved;
        g_ttyFd = fd;
        struct sigaction action{};
        action.sa_handler = restoreAndDie;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < Count; ++i)
            ::sigaction(Signals[i], &action, &m_previous[i]);
    }
    ~EchoRestorer()
    {
        for (int i = 0; i < Count; ++i)
            ::sigaction(Signals[i], &m_previous[i], nullptr);
        g_ttyFd = -1;
    }
    EchoRestorer(const EchoRestorer &) = delete;
    EchoRestorer &operator=(const EchoRestorer &) = delete;

private:
    static constexpr int Count = 4;
    static constexpr int Signals[Count] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction m_previous[Count]{};
};

} // namespace

namespace Terminal {

bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

int columns(int fd)
{
    winsize size{};
    if (::isatty(fd) != 1 || ::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return 80;
    return size.ws_col;
}

std::optional<QString> readSecret(const QString &prompt)
{
    // The prompt goes to the terminal itself, so it stays out of redirected output.
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const QByteArray text = prompt.toLocal8Bit();
    [[maybe_unused]] const ssize_t shown = ::write(fd, text.constData(), static_cast<size_t>(text.size()));
    termios saved{};
    const bool haveSettings = ::tcgetattr(fd, &saved) == 0;
    std::optional<EchoRestorer> restorer;
    if (haveSettings) {
        restorer.emplace(fd, saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    bool ended = false;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got <= 0) {
            ended = line.empty();
            break;
        }
        if (c == '\n' || c == '\r')
            break;
        line.push_back(c);
    }
    if (haveSettings)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    restorer.reset();
    ::close(fd);
    if (ended)
        return std::nullopt;
    return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

} // namespace Terminal

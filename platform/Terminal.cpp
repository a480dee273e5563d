#include "Terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

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
    if (haveSettings) {
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
    ::close(fd);
    if (ended)
        return std::nullopt;
    return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

} // namespace Terminal

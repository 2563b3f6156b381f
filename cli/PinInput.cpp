#include "PinInput.h"

#include "CliOutput.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal state before echo went off, for the signal handler.
termios SavedTerminal {};

// Async-signal-safe: put echo back, end the prompt's line, exit as the shell counts signals.
extern "C" void RestoreTerminalAndExit(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &SavedTerminal);
    const char lineFeed = '\n';
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, &lineFeed, 1);
    ::_exit(128 + signal);
}

// Echo off for its lifetime, with SIGINT, SIGTERM and SIGHUP restoring the terminal.
class TSilentTerminal {
public:
    TSilentTerminal()
    {
        ::tcgetattr(STDIN_FILENO, &SavedTerminal);
        struct sigaction action { };
        action.sa_handler = RestoreTerminalAndExit;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < SignalCount; ++i)
            ::sigaction(Signals[i], &action, &FPrevious[i]);
        termios silent = SavedTerminal;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    ~TSilentTerminal()
    {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &SavedTerminal);
        for (int i = 0; i < SignalCount; ++i)
            ::sigaction(Signals[i], &FPrevious[i], nullptr);
    }
    TSilentTerminal(const TSilentTerminal&) = delete;
    TSilentTerminal& operator=(const TSilentTerminal&) = delete;

private:
    static constexpr int SignalCount = 3;
    static constexpr int Signals[SignalCount] = { SIGINT, SIGTERM, SIGHUP };
    struct sigaction FPrevious[SignalCount] { };
};

QString FirstLine(const QByteArray& bytes)
{
    QByteArray line = bytes.left(bytes.indexOf('\n') >= 0 ? bytes.indexOf('\n') : bytes.size());
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

} // namespace

bool ReadPinFile(const QString& path, QString& pin, QString& errorMsg)
{
    if (path == "-") {
        char buffer[256] = {};
        if (std::fgets(buffer, sizeof buffer, stdin) == nullptr && std::ferror(stdin)) {
            errorMsg = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        pin = FirstLine(QByteArray(buffer));
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorMsg = file.errorString();
        return false;
    }
    pin = FirstLine(file.readLine(256));
    return true;
}

bool TTerminalPrompter::AskPin(const QString&, const QString& label, QString& pin)
{
    if (!::isatty(STDIN_FILENO)) {
        Err(label + " (no terminal to ask; use QUILLEX_PIN, --pin-file or --pin)");
        return false;
    }
    std::fprintf(stderr, "%s ", label.toUtf8().constData());
    std::fflush(stderr);
    char buffer[256] = {};
    bool read = false;
    {
        TSilentTerminal silent;
        read = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
    }
    std::fprintf(stderr, "\n");
    if (!read)
        return false;
    pin = FirstLine(QByteArray(buffer));
    return true;
}

void TTerminalPrompter::ShowMessage(const QString& text)
{
    Err(text);
}

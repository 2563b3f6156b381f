#include "SignalPipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int PipeEnds[2] = { -1, -1 };

extern "C" void WriteSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(PipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

TSignalPipe::TSignalPipe(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(PipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    FNotifier = new QSocketNotifier(PipeEnds[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(PipeEnds[0], &byte, 1) == 1)
            emit Terminate(byte);
    });
    struct sigaction action { };
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &FOldTerm);
    ::sigaction(SIGINT, &action, &FOldInt);
}

TSignalPipe::~TSignalPipe()
{
    if (!FNotifier)
        return;
    ::sigaction(SIGTERM, &FOldTerm, nullptr);
    ::sigaction(SIGINT, &FOldInt, nullptr);
    delete FNotifier;
    ::close(PipeEnds[0]);
    ::close(PipeEnds[1]);
    PipeEnds[0] = PipeEnds[1] = -1;
}

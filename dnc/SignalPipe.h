#pragma once
// SIGTERM and SIGINT as a Qt signal: the handler only writes a byte into a
// pipe, which the event loop reads (the self-pipe pattern). One per process;
// the handlers are put back when it goes.
#include <QObject>

#include <csignal>

class QSocketNotifier;

class TSignalPipe : public QObject {
    Q_OBJECT
public:
    explicit TSignalPipe(QObject* parent = nullptr);
    ~TSignalPipe() override;
    TSignalPipe(const TSignalPipe&) = delete;
    TSignalPipe& operator=(const TSignalPipe&) = delete;

signals:
    void Terminate(int signalNumber);

private:
    QSocketNotifier* FNotifier = nullptr;
    struct sigaction FOldTerm { };
    struct sigaction FOldInt { };
};

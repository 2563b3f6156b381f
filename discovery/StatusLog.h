#pragma once
// The status log's lines: one for each accepted status datagram, appended on
// the listener's thread, the latest StatusLogMaxLines kept. The window reads
// the lines it has not shown yet when it draws the log, so a datagram costs
// no hand-over to the window and a hidden log costs no drawing at all.
#include <QMutex>
#include <QString>
#include <QStringList>

#include <deque>

// The status log keeps this many of the latest lines.
constexpr int StatusLogMaxLines = 5000;

class TStatusLog {
public:
    explicit TStatusLog(qsizetype capacity = StatusLogMaxLines);

    void Append(const QString& line); // any thread
    // Lines appended so far, the dropped ones included.
    quint64 Appended() const;
    // The kept lines, oldest first.
    QStringList Lines() const;

    // What a view that has shown the first `shown` lines appends to catch up.
    // When some of the lines after those were dropped already, Restart is set
    // and Lines holds every kept line: the view starts again from them.
    struct TNewLines {
        bool Restart = false;
        QStringList Lines;
        quint64 Shown = 0; // what the view has shown once it took these
    };
    TNewLines Since(quint64 shown) const;

private:
    const qsizetype FCapacity;
    mutable QMutex FLock;
    std::deque<QString> FLines;
    quint64 FAppended = 0;
};

#include "StatusLog.h"

#include <QMutexLocker>

TStatusLog::TStatusLog(qsizetype capacity)
    : FCapacity(qMax<qsizetype>(1, capacity))
{
}

void TStatusLog::Append(const QString& line)
{
    QMutexLocker locker(&FLock);
    FLines.push_back(line);
    if (qsizetype(FLines.size()) > FCapacity)
        FLines.pop_front();
    ++FAppended;
}

quint64 TStatusLog::Appended() const
{
    QMutexLocker locker(&FLock);
    return FAppended;
}

QStringList TStatusLog::Lines() const
{
    QMutexLocker locker(&FLock);
    return QStringList(FLines.cbegin(), FLines.cend());
}

TStatusLog::TNewLines TStatusLog::Since(quint64 shown) const
{
    TNewLines result;
    QMutexLocker locker(&FLock);
    const quint64 firstKept = FAppended - FLines.size();
    result.Restart = shown < firstKept || shown > FAppended;
    const quint64 from = result.Restart ? firstKept : shown;
    result.Lines = QStringList(FLines.cbegin() + qsizetype(from - firstKept), FLines.cend());
    result.Shown = FAppended;
    return result;
}

#pragma once
// The one exception of the content and transfer steps, raised where a step
// cannot go on (a CMT block missing, zlib refusing data); the edge of the job
// catches it and shows its message, which is written for the operator.
#include <QString>

#include <stdexcept>

class EQuillexError : public std::runtime_error {
public:
    explicit EQuillexError(const QString& message)
        : std::runtime_error(message.toStdString())
        , FMessage(message)
    {
    }
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

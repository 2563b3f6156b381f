#pragma once
// The kind of a device-link failure, for callers that act on it (the command
// line's JSON code, an operation's outcome) rather than on the operator's
// text, which may be reworded. Like errno: each device-link operation records
// the kind where it writes its failure message, on the thread that runs it;
// the caller reads it on that thread right after the operation failed.
#include <QString>

enum class EDeviceFailure {
    DeviceError, // the device answered with an error, or did something unexpected
    PinRefused,
    ConnectFailed,
    Timeout,
    NetworkError,
    CorruptData, // a reply or download that cannot be what the device stores
    TooLarge,
    NoProgram,
};

// The error number the upload reports when its own idle timer ends it, as the
// devices' firmware tools report a time-out.
constexpr int IdleTimeoutError = 10060;

EDeviceFailure LastDeviceFailure();
void SetDeviceFailure(EDeviceFailure kind);

// Timeout for the error numbers of a time-out (EAGAIN, ETIMEDOUT and the
// upload's idle time-out), NetworkError for any other.
EDeviceFailure NetworkFailure(int error);

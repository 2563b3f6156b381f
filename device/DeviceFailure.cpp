#include "DeviceFailure.h"

#include <cerrno>

namespace {

thread_local EDeviceFailure LastFailure = EDeviceFailure::DeviceError;

} // namespace

EDeviceFailure LastDeviceFailure()
{
    return LastFailure;
}

void SetDeviceFailure(EDeviceFailure kind)
{
    LastFailure = kind;
}

EDeviceFailure NetworkFailure(int error)
{
    return error == EAGAIN || error == ETIMEDOUT || error == IdleTimeoutError ? EDeviceFailure::Timeout
                                                                              : EDeviceFailure::NetworkError;
}

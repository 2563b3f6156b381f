#include "Operation.h"

EOutcomeKind OutcomeKindOf(EDeviceFailure failure)
{
    switch (failure) {
    case EDeviceFailure::PinRefused:
        return EOutcomeKind::PinRefused;
    case EDeviceFailure::ConnectFailed:
    case EDeviceFailure::Timeout:
    case EDeviceFailure::NetworkError:
        return EOutcomeKind::Unreachable;
    case EDeviceFailure::DeviceError:
    case EDeviceFailure::CorruptData:
    case EDeviceFailure::TooLarge:
    case EDeviceFailure::NoProgram:
        break;
    }
    return EOutcomeKind::DeviceError;
}

QString OutcomeKindName(EOutcomeKind kind)
{
    switch (kind) {
    case EOutcomeKind::Ok:
        return "ok";
    case EOutcomeKind::Cancelled:
        return "cancelled";
    case EOutcomeKind::NoStatus:
        return "no_status";
    case EOutcomeKind::PinRefused:
        return "pin_refused";
    case EOutcomeKind::Unreachable:
        return "unreachable";
    case EOutcomeKind::DeviceError:
        return "device_error";
    case EOutcomeKind::Mismatch:
        return "mismatch";
    case EOutcomeKind::VerifyFailed:
        return "verify_failed";
    case EOutcomeKind::NoIndex:
        return "no_index";
    case EOutcomeKind::FileError:
        return "file_error";
    }
    return "unknown";
}

TOperationOutcome DeviceLinkFailure(const QString& message, EDeviceFailure failure)
{
    TOperationOutcome outcome;
    outcome.Kind = OutcomeKindOf(failure);
    outcome.Failure = failure;
    outcome.Message = message;
    outcome.Shown = "Hata: " + message;
    return outcome;
}

TOperationRecord::TOperationRecord(TTransferKind kind, const TQuillexDevice& device)
    : FRecord(NewTransferRecord(kind, device.DisplayName, device.IPAddress, device.MacId))
{
    FClock.start();
}

TTransferRecord TOperationRecord::Finish(bool success, const QString& shown)
{
    FRecord.Time = QDateTime::currentDateTimeUtc();
    FRecord.DurationMs = FClock.elapsed();
    FRecord.Success = success;
    FRecord.Message = shown;
    return FRecord;
}

QString MsgDone()
{
    return QString::fromUtf8("Başarı ile Tamamlandı.");
}

QString MsgNoStatusYet()
{
    return "Cihazdan henuz durum bilgisi alinamadi (kapasite bilinmiyor). Lutfen birkac saniye bekleyip tekrar "
           "deneyin.";
}

QString MsgStartFromStarted()
{
    return QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): ");
}

QString MsgNoStartFromIndex()
{
    return QString::fromUtf8("Cihazda kayıtlı bir devam noktası yok (Start From index boş).");
}

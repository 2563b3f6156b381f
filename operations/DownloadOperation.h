#pragma once
// Download of the device's stored program or raw capture (CMT data comes as a
// program), with its history record.
#include "Operation.h"

#include <QByteArray>

#include <functional>

struct TDownloadOutcome : TOperationOutcome {
    QByteArray Content;
    bool IsRaw = false; // a raw capture, not a program
    QString DeviceReply; // "%1 bayt alındı"
};

struct TDownloadRequest {
    TQuillexDevice Device;
    QString Status; // for the device's size limit; empty: the default
    QString FileName; // where the bytes go, for the history; empty when they stay in the window
    ESuccessText SuccessText = ESuccessText::Summary;
    // Keeps what came (writes the file); false with the operator's message
    // when it cannot: the operation then ends as FileError. Empty: the caller
    // takes the bytes from the outcome.
    std::function<bool(const TDownloadOutcome& received, QString& errorMsg)> Keep;
};

// "Ham (RAW) kayıt alındı: ... HEX olarak gösteriliyor ...": the window's
// text for a raw capture.
QString MsgRawCaptureShown(qsizetype bytes);

// Blocks until done. Ok with the bytes; a device-link failure; FileError when Keep failed.
TDownloadOutcome RunDownload(const TDownloadRequest& request, TOperationProgress& progress);

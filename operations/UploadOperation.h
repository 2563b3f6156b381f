#pragma once
// Upload with read-back verification, and the read-back on its own: the
// device's plan from its status, the device call, the comparison, the
// operator's wording of the outcome and the history record, for every face.
#include "Operation.h"
#include "PinCheck.h"

#include "device/ProgramTransfer.h"
#include "document/ProgramDocument.h"
#include "transfer/UploadVerification.h"

struct TUploadRequest {
    TQuillexDevice Device;
    // The device's status document, which gives its limits; empty: NoStatus.
    QString Status;
    // The bytes the device is to store (normalised text or a CMT file as it
    // is) and the tool changes an index may point at.
    TPreparedUpload Prepared;
    QString FileName; // for the history; empty when the program has no file
    bool Verify = false; // read the stored program back and compare
    ESuccessText SuccessText = ESuccessText::Summary;
};

struct TUploadOutcome : TOperationOutcome {
    TUploadFacts Facts; // what went on the wire, when the upload succeeded
    TUploadVerification Verification; // NotRun unless asked for and the upload succeeded
    QString DeviceReply; // the device's final line, with the index warning when there is one
    QString IndexWarning; // "(UYARI: Start From index kaydedilemedi: ...)", or empty
};

// The outcome when the device's status is not known: nothing is sent.
TOperationOutcome NoStatusOutcome();

// Sends the prepared program and, when asked, reads it back; blocks until
// done. Ok also when the device kept the program but not its start-from index
// (IndexWarning); Mismatch or VerifyFailed when the read-back does not show
// the program sent. The record is finished in every outcome but NoStatus.
TUploadOutcome SendUpload(const TUploadRequest& request, TOperationProgress& progress);

// The PIN check, then SendUpload: for callers without a window of their own.
TUploadOutcome RunUpload(const TUploadRequest& request, const TPinCheck& pinCheck, TOperationProgress& progress,
    TPinPrompter& prompter, const TBlockingCallRunner& runner = {});

struct TVerifyRequest {
    TQuillexDevice Device;
    QString Status; // for the device's size limit; empty: the default
    QByteArray Sent; // what the device should hold
};

struct TVerifyOutcome : TOperationOutcome {
    TUploadVerification Verification;
};

// Reads the stored program back and compares it with Sent: Ok, Mismatch or
// VerifyFailed, the verification's text shown. No record: nothing changed.
TVerifyOutcome RunVerify(const TVerifyRequest& request, TOperationProgress& progress);

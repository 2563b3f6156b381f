#include "DeviceCommands.h"

#include "CliOutput.h"
#include "DeviceAddress.h"
#include "HistoryCommands.h"
#include "PinInput.h"
#include "Progress.h"
#include "device/DeviceFailure.h"
#include "device/DevicePin.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "discovery/DeviceStatusView.h"
#include "discovery/UnitStatusListener.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"
#include "operations/DeviceCommandOperations.h"
#include "operations/DeviceStatusWait.h"
#include "operations/DownloadOperation.h"
#include "operations/PinCheck.h"
#include "operations/UploadOperation.h"
#include "transfer/UploadVerification.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <memory>

namespace {

struct THelp {
    const char* Name;
    const char* Text;
};

const THelp Helps[] = {
    { "devices",
        "Usage: quillex-cli devices [--listen SECONDS] [--json]\n"
        "Listens for status datagrams (default 3 s) and prints one line per device:\n"
        "IP, MacId, name, controller and 'pin' or '-', separated by tabs. --json prints\n"
        "an array with one object per device (an error object when listening fails).\n"
        "Example: quillex-cli devices --listen 5 --json\n" },
    { "status",
        "Usage: quillex-cli status IP [--listen SECONDS]\n"
        "Waits up to SECONDS (default 5) for the device's status document and prints it.\n"
        "Example: quillex-cli status 192.168.1.20\n" },
    { "upload",
        "Usage: quillex-cli upload IP FILE|- [--raw] [--verify] [--progress MODE]\n"
        "       quillex-cli upload IP FILE|- --no-status --controller C --hw HW --build N\n"
        "                          --maxfilesize BYTES [--pin-required]\n"
        "Sends FILE (- for standard input) as the window's upload does: CMT data unchanged,\n"
        "text normalised with its tool changes indexed. --raw sends the bytes unchanged.\n"
        "The device's status gives its limits; with --no-status the options give them\n"
        "(--controller is not needed with --raw).\n"
        "--verify then reads the stored program back and compares it with the bytes sent;\n"
        "exit 1 when they differ (code mismatch) or the read-back fails (code verify_failed).\n"
        "With --json the result carries \"verification\": outcome, message, crc32 and\n"
        "first_difference (the first differing byte, counted from 1).\n"
        "Example: quillex-cli upload 192.168.1.20 O1000.nc --verify\n" },
    { "verify",
        "Usage: quillex-cli verify IP FILE|- [--raw] [--progress MODE] [--no-status --controller C]\n"
        "Reads the device's stored program and compares it with what uploading FILE would\n"
        "send (--raw: the bytes unchanged), without uploading. PIN rules as for download.\n"
        "With --no-status, --controller gives the controller the text is prepared for.\n"
        "Exit 0 when equal, 1 when they differ or the read-back fails.\n"
        "Example: quillex-cli verify 192.168.1.20 O1000.nc\n" },
    { "download",
        "Usage: quillex-cli download IP [-o FILE|-] [--progress MODE]\n"
        "Writes the device's stored program (or raw capture) to FILE or standard output\n"
        "(with --json the program needs -o FILE: standard output carries the result object).\n"
        "Example: quillex-cli download 192.168.1.20 -o backup.nc\n" },
    { "send",
        "Usage: quillex-cli send IP [--] COMMAND-LINE...\n"
        "Sends the command lines in one batch (the PIN line is added when known);\n"
        "after -- a command line may start with '-'.\n"
        "Example: quillex-cli send 192.168.1.20 'NAME&Torna 3' BR19200\n" },
    { "index",
        "Usage: quillex-cli index IP\n"
        "Prints the start-from index: Index, LineNumber, UncompressedOffset per line.\n"
        "Example: quillex-cli index 192.168.1.20\n" },
    { "peek",
        "Usage: quillex-cli peek IP N\n"
        "Prints the line before, at and after start-from point N (three lines).\n"
        "Example: quillex-cli peek 192.168.1.20 3\n" },
    { "startfrom",
        "Usage: quillex-cli startfrom IP N\n"
        "Makes the device play its program from start-from point N.\n"
        "Example: quillex-cli startfrom 192.168.1.20 3\n" },
};

// The stable word scripts read for the kind of a device-link failure.
QString FailureCode(EDeviceFailure kind)
{
    switch (kind) {
    case EDeviceFailure::PinRefused:
        return "pin_refused";
    case EDeviceFailure::ConnectFailed:
        return "connect_failed";
    case EDeviceFailure::Timeout:
        return "timeout";
    case EDeviceFailure::NetworkError:
        return "network_error";
    case EDeviceFailure::CorruptData:
        return "corrupt_data";
    case EDeviceFailure::TooLarge:
        return "too_large";
    case EDeviceFailure::NoProgram:
        return "no_program";
    case EDeviceFailure::DeviceError:
        break;
    }
    return "device_error";
}

// A failed device operation of the kind given: exit 3 when the device
// refused the PIN, else 1.
int DeviceFailure(EDeviceFailure kind, const QString& message)
{
    return FailDevice(kind == EDeviceFailure::PinRefused ? ExitPin : ExitFailed, FailureCode(kind), message);
}

int DeviceFailure(const TOperationOutcome& outcome)
{
    return DeviceFailure(outcome.Failure, outcome.Message);
}

// The operation's record, when it wrote one, into the history.
void KeepRecord(const TCliArgs& args, const TOperationOutcome& outcome)
{
    if (outcome.Record)
        RecordCliHistory(args, *outcome.Record);
}

// An operation's progress on standard error, stage by stage.
class TCliProgress : public TOperationProgress {
public:
    TCliProgress(TProgressMode mode, const char* stage)
        : FMode(mode)
        , FStage(stage)
    {
        FPrinter.emplace(mode);
    }
    void Percent(qint32 percent) override { FPrinter->Percent(FStage, percent); }
    void Erase(qint64 done, qint64 total) override { FPrinter->Erase(done, total); }
    void LargeUpload() override { Note(QString::fromUtf8("Büyük dosya: cihaz hazırlanıyor...")); }
    void VerifyStarted() override
    {
        FPrinter.reset(); // the upload's bar ends with its line
        FPrinter.emplace(FMode);
        FStage = "verify";
    }

private:
    TProgressMode FMode;
    const char* FStage;
    std::optional<TProgressPrinter> FPrinter;
};

// A program file as the history names it; standard input has no name.
QString RecordedFileName(const QString& path)
{
    return path == "-" ? QString() : QFileInfo(path).absoluteFilePath();
}

class TContext {
public:
    explicit TContext(const TCliArgs& args)
        : A(args)
    {
    }
    const TCliArgs& A;
    QString Pin; // given by the caller: tried alone, never replaced by a stored one
    TProgressMode Progress = TProgressMode::Auto;

    bool NoStatus() const { return A.IsSet("no-status"); }

    // The running listener, or exit 1 when the status port cannot be opened.
    int Listen(TStatusListenerThread*& listener)
    {
        if (!FListener) {
            FListener = std::make_unique<TStatusListenerThread>(nullptr, A.StatusPort);
            QElapsedTimer timer;
            timer.start();
            while (!FListener->IsListening() && FListener->ListenError().isEmpty() && timer.elapsed() < 2000)
                QThread::msleep(5);
            if (!FListener->IsListening()) {
                const QString error = FListener->ListenError();
                FListener.reset();
                return Fail(ExitFailed, "status_port", error);
            }
        }
        listener = FListener.get();
        return ExitOk;
    }

    // Waits up to timeoutMs for a status document from the address and, with
    // identity, for a device that wants a PIN hears long enough to tell
    // whether another sender announces its MacId.
    int WaitForStatus(const QString& ip, int timeoutMs, bool identity, TKnownStatus& known)
    {
        TStatusListenerThread* listener = nullptr;
        if (const int rc = Listen(listener); rc != ExitOk)
            return rc;
        known = WaitForDeviceStatus(*listener, { ip, timeoutMs, identity });
        return ExitOk;
    }

    // The status for a verb that can go on without one: none with --no-status,
    // and a note when the wait ends empty.
    int OptionalStatus(const QString& ip, TKnownStatus& known)
    {
        if (NoStatus())
            return ExitOk;
        if (const int rc = WaitForStatus(ip, StatusWaitMs, Pin.isEmpty(), known); rc != ExitOk)
            return rc;
        if (known.Status.isEmpty())
            Note(QString::fromUtf8("%1 cihazından durum bilgisi alınamadı; durum bilgisi olmadan devam ediliyor "
                                   "(--no-status beklemez)")
                     .arg(ip));
        return ExitOk;
    }

private:
    std::unique_ptr<TStatusListenerThread> FListener;
};

// The device record from its status (or a stand-in without one), then the PIN check.
int PrepareDevice(TContext& context, const QString& ip, const TKnownStatus& known, TQuillexDevice& device)
{
    const QString& status = known.Status;
    if (status.isEmpty() || !DeviceFromStatus(ip, status, device)) {
        device = TQuillexDevice();
        device.IPAddress = ip;
        device.DisplayName = ip;
        device.PinRequired = !context.Pin.isEmpty() || context.A.IsSet("pin-required");
    }
    // The caller's PIN is what the caller means: no stored PIN, no prompt.
    // It serves this run only; --save-pin keeps it, as the window's "Kaydet".
    const bool given = device.PinRequired && !context.Pin.isEmpty();
    TPinCheck check { device, false, given ? context.Pin : QString() };
    check.IdentityShared = !given && device.PinRequired && known.IdentityShared;
    TTerminalPrompter prompter;
    const TOperationOutcome outcome = RunPinCheck(check, prompter);
    if (outcome.Succeeded()) {
        if (given && context.A.IsSet("save-pin")) {
            SavePinToStore(PinStoreKey(device.MacId, device.IPAddress), context.Pin, device.IPAddress);
            if (const QString problem = PinStoreError(); !problem.isEmpty())
                Note(problem);
        }
        return ExitOk;
    }
    if (!outcome.Presented)
        return DeviceFailure(outcome);
    if (outcome.Kind != EOutcomeKind::Cancelled) { // already shown by the prompter
        Report().Code = FailureCode(outcome.Failure);
        Report().Message = outcome.Message;
        return outcome.Failure == EDeviceFailure::PinRefused ? ExitPin : ExitFailed;
    }
    Report().Code = "pin_required";
    Report().Message = QString::fromUtf8("%1 şifre istiyor (4-8 rakam)").arg(device.DisplayName);
    return ExitPin;
}

// The status (optional) and the PIN check that every verb after devices and status runs first.
int ConnectDevice(TContext& context, const QString& ip, TQuillexDevice& device, QString* statusOut = nullptr)
{
    TKnownStatus known;
    if (const int rc = context.OptionalStatus(ip, known); rc != ExitOk)
        return rc;
    if (statusOut)
        *statusOut = known.Status;
    if (const int rc = PrepareDevice(context, ip, known, device); rc != ExitOk)
        return rc;
    return ExitOk;
}

bool ParseSeconds(const QString& text, double& seconds)
{
    bool ok = false;
    seconds = text.toDouble(&ok);
    return ok && seconds >= 0 && seconds <= 3600;
}

bool ParseIndex(const QString& text, qint32& index)
{
    bool ok = false;
    index = text.toInt(&ok);
    return ok && index >= 0;
}

int ListenSeconds(const TCliArgs& args, double& seconds)
{
    if (args.IsSet("listen") && !ParseSeconds(args.Value("listen"), seconds))
        return Usage(args.Verb + ": --listen needs seconds (0-3600)");
    return ExitOk;
}

QJsonValue StatusValue(const QString& status)
{
    const QJsonDocument document = QJsonDocument::fromJson(status.toUtf8());
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(status);
}

int CmdDevices(TContext& context)
{
    const TCliArgs& args = context.A;
    double seconds = 3;
    if (!args.Args.isEmpty())
        return Usage("devices: bad argument " + args.Args.first());
    if (const int rc = ListenSeconds(args, seconds); rc != ExitOk)
        return rc;
    TStatusListenerThread* listener = nullptr;
    if (const int rc = context.Listen(listener); rc != ExitOk)
        return rc;
    QThread::msleep(qint64(seconds * 1000));
    const QList<TQuillexDevice> devices = listener->BuildDeviceList();
    QJsonArray array;
    for (const TQuillexDevice& d : devices) {
        array.append(QJsonObject { { "ip", d.IPAddress }, { "macid", d.MacId }, { "name", d.DisplayName },
            { "controller", d.Controller }, { "pin_required", d.PinRequired },
            { "status", StatusValue(listener->GetStatusFor(d.IPAddress)) } });
        Data(QStringList { d.IPAddress, d.MacId, d.DisplayName, d.Controller, d.PinRequired ? "pin" : "-" }.join('\t'));
    }
    if (devices.isEmpty()) // an empty list alone would not tell a closed firewall from an empty network
        Note(QString::fromUtf8("%1 sn içinde hiçbir cihaz duyulmadı; cihazların durum bilgisi UDP %2 portundan gelir, "
                               "bu port açık olmalı.")
                 .arg(seconds)
                 .arg(context.A.StatusPort));
    // Scripts read the bare array of the first versions: kept on success.
    Report().SuccessDocument = QJsonDocument(array);
    return Succeed(QString());
}

int CmdStatus(TContext& context)
{
    const TCliArgs& args = context.A;
    if (args.Args.size() != 1)
        return Usage(args.Args.isEmpty() ? "status: IP missing" : "status: bad argument " + args.Args[1]);
    const QString ip = args.Args[0];
    double seconds = 5;
    if (const int rc = ListenSeconds(args, seconds); rc != ExitOk)
        return rc;
    TKnownStatus known;
    if (const int rc = context.WaitForStatus(ip, int(seconds * 1000), false, known); rc != ExitOk)
        return rc;
    const QString& status = known.Status;
    Report().Fields = { { "ip", ip } };
    if (status.isEmpty())
        return Fail(ExitFailed, "no_status", QString::fromUtf8("%1 cihazından durum bilgisi alınamadı").arg(ip));
    Report().Fields.insert("status", StatusValue(status));
    Data(status);
    return Succeed(QString());
}

// The status document --no-status stands in with, from the options; exit 2
// when one the upload needs is missing.
int StatusFromOptions(const TCliArgs& args, bool raw, const QString& pin, QString& status)
{
    QStringList needed { "hw", "build", "maxfilesize" };
    if (!raw)
        needed.prepend("controller");
    for (const QString& option : needed)
        if (!args.IsSet(option))
            return Usage("upload: --no-status needs --" + option);
    bool buildOk = false, sizeOk = false;
    const int build = args.Value("build").toInt(&buildOk);
    const qint64 maxFileSize = args.Value("maxfilesize").toLongLong(&sizeOk);
    if (!buildOk || build < 0)
        return Usage("upload: --build needs a build number");
    if (!sizeOk || maxFileSize <= 0)
        return Usage("upload: --maxfilesize needs a byte count");
    const QJsonObject object { { "controller", args.Value("controller") }, { "hw", args.Value("hw") },
        { "build", build }, { "maxfilesize", maxFileSize }, { "pw", args.IsSet("pin-required") || !pin.isEmpty() } };
    status = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return ExitOk;
}

// The read-back's outcome: its text on standard output when verified, else on
// standard error with exit 1; with --json the "verification" object.
int ReportVerification(const TUploadVerification& verification, const QString& successMessage)
{
    using EOutcome = TUploadVerification::EOutcome;
    QJsonObject object { { "outcome", OutcomeCode(verification.Outcome) }, { "message", verification.Message } };
    if (verification.Outcome != EOutcome::Failed)
        object.insert("crc32", Crc32Text(verification.Crc32));
    if (verification.Outcome == EOutcome::Mismatch)
        object.insert("first_difference", verification.FirstDifference);
    Report().Fields.insert("verification", object);
    if (verification.Outcome == EOutcome::Mismatch)
        return Fail(ExitFailed, "mismatch", verification.Message);
    if (verification.Outcome != EOutcome::Verified)
        return Fail(ExitFailed, "verify_failed", verification.Message);
    if (!Report().Json && !Report().Quiet)
        Out(verification.Message);
    return Succeed(successMessage.isEmpty() ? verification.Message : successMessage);
}

int CmdUpload(TContext& context)
{
    const TCliArgs& args = context.A;
    const bool raw = args.IsSet("raw");
    if (args.Args.size() != 2)
        return Usage("upload: IP and FILE expected");
    const QString ip = args.Args[0];
    const QString file = args.Args[1];
    if (!context.NoStatus()) {
        for (const char* option : { "controller", "hw", "build", "maxfilesize" })
            if (args.IsSet(option))
                return Usage(QString("upload: --%1 only with --no-status").arg(option));
    }
    TKnownStatus known;
    QString& status = known.Status;
    if (context.NoStatus()) {
        if (const int rc = StatusFromOptions(args, raw, context.Pin, status); rc != ExitOk)
            return rc;
    }
    Report().Fields = { { "ip", ip }, { "file", file } };
    QByteArray fileBytes;
    QString error;
    if (!ReadInput(file, fileBytes, error))
        return Fail(ExitFailed, "file_error", file + ": " + error);
    if (!context.NoStatus()) {
        if (const int rc = context.WaitForStatus(ip, StatusWaitMs, context.Pin.isEmpty(), known); rc != ExitOk)
            return rc;
        if (known.Kind == EOutcomeKind::NoStatus)
            return Fail(ExitFailed, "no_status", known.Shown);
    }
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, ip, known, device); rc != ExitOk)
        return rc;

    TUploadRequest request;
    request.Device = device;
    request.Status = status;
    request.FileName = RecordedFileName(file);
    request.Verify = args.IsSet("verify");
    request.SuccessText = ESuccessText::DeviceReply; // scripts read the device's reply
    if (raw)
        request.Prepared.Content = fileBytes;
    else
        request.Prepared = PrepareFileForUpload(std::move(fileBytes), IsControllerSiemens(device.Controller));
    TUploadOutcome outcome;
    {
        TCliProgress progress(context.Progress, "upload");
        outcome = SendUpload(request, progress);
    }
    KeepRecord(args, outcome);
    if (!outcome.Succeeded() && outcome.Kind != EOutcomeKind::Mismatch && outcome.Kind != EOutcomeKind::VerifyFailed)
        return DeviceFailure(outcome); // the upload itself failed
    Report().Fields.insert("bytes", request.Prepared.Content.size());
    Report().Fields.insert("sent_bytes", outcome.Facts.SentBytes);
    Report().Fields.insert("compressed", outcome.Facts.Compressed);
    Report().Fields.insert("index_entries", outcome.Facts.IndexEntries);
    if (!request.Verify)
        return Succeed(outcome.DeviceReply, true);
    if (!Report().Json && !Report().Quiet)
        Out(outcome.DeviceReply);
    return ReportVerification(outcome.Verification, outcome.DeviceReply);
}

int CmdDownload(TContext& context)
{
    const TCliArgs& args = context.A;
    if (args.Args.size() != 1)
        return Usage("download: IP expected");
    const QString ip = args.Args[0];
    const QString outFile = args.IsSet("o") ? args.Value("o") : QString("-");
    if (outFile.isEmpty())
        return Usage("download: -o needs a file");
    if (Report().Json && outFile == "-")
        return Usage("download: --json needs -o FILE for the program");
    Report().Fields = { { "ip", ip }, { "file", outFile } };
    TQuillexDevice device;
    QString status;
    if (const int rc = ConnectDevice(context, ip, device, &status); rc != ExitOk)
        return rc;
    TDownloadRequest request;
    request.Device = device;
    request.Status = status;
    request.FileName = RecordedFileName(outFile);
    request.SuccessText = ESuccessText::DeviceReply;
    request.Keep = [&](const TDownloadOutcome& received, QString& error) {
        Note(received.DeviceReply);
        if (received.IsRaw)
            Note(QString::fromUtf8("Ham (RAW) kayıt alındı: %1 bayt").arg(received.Content.size()));
        if (WriteOutput(outFile, received.Content, error))
            return true;
        error = outFile + ": " + error;
        return false;
    };
    TDownloadOutcome outcome;
    {
        TCliProgress progress(context.Progress, "download");
        outcome = RunDownload(request, progress);
    }
    KeepRecord(args, outcome);
    if (outcome.Kind == EOutcomeKind::FileError)
        return Fail(ExitFailed, "file_error", outcome.Message);
    if (!outcome.Succeeded())
        return DeviceFailure(outcome);
    Report().Fields.insert("bytes", outcome.Content.size());
    Report().Fields.insert("kind", outcome.IsRaw ? "raw" : "program");
    return Succeed(outcome.DeviceReply);
}

int CmdVerify(TContext& context)
{
    const TCliArgs& args = context.A;
    if (args.Args.size() != 2)
        return Usage("verify: IP and FILE expected");
    const QString ip = args.Args[0];
    const QString file = args.Args[1];
    if (args.IsSet("controller") && !context.NoStatus())
        return Usage("verify: --controller only with --no-status");
    Report().Fields = { { "ip", ip }, { "file", file } };
    QByteArray fileBytes;
    QString error;
    if (!ReadInput(file, fileBytes, error))
        return Fail(ExitFailed, "file_error", file + ": " + error);
    TQuillexDevice device;
    QString status;
    if (const int rc = ConnectDevice(context, ip, device, &status); rc != ExitOk)
        return rc;
    // Without the device's status its controller, which decides the '%' lines, comes from --controller.
    const QString controller = context.NoStatus() ? args.Value("controller") : device.Controller;
    const QByteArray sent
        = args.IsSet("raw") ? fileBytes : PrepareFileForUpload(fileBytes, IsControllerSiemens(controller)).Content;
    Report().Fields.insert("bytes", sent.size());
    TVerifyOutcome outcome;
    {
        TCliProgress progress(context.Progress, "verify");
        outcome = RunVerify({ device, status, sent }, progress);
    }
    return ReportVerification(outcome.Verification, QString());
}

int CmdSend(TContext& context)
{
    const TCliArgs& args = context.A;
    if (args.Args.size() < 2)
        return Usage("send: IP and at least one command line expected");
    const QString ip = args.Args[0];
    Report().Fields = { { "ip", ip } };
    TQuillexDevice device;
    if (const int rc = ConnectDevice(context, ip, device); rc != ExitOk)
        return rc;
    TCommandBatchRequest request;
    request.Device = device;
    request.Commands = args.Args.mid(1);
    const TOperationOutcome outcome = RunCommandBatch(request);
    KeepRecord(args, outcome);
    if (!outcome.Succeeded())
        return DeviceFailure(outcome);
    // "%1 komut cihaz tarafından onaylandı": the count of confirmed lines, the login and PIN lines included.
    Report().Fields.insert("confirmed", outcome.Message.section(' ', 0, 0).toInt());
    return Succeed(outcome.Message, true);
}

int CmdIndex(TContext& context)
{
    const TCliArgs& args = context.A;
    if (args.Args.size() != 1)
        return Usage("index: IP expected");
    const QString ip = args.Args[0];
    Report().Fields = { { "ip", ip } };
    TQuillexDevice device;
    if (const int rc = ConnectDevice(context, ip, device); rc != ExitOk)
        return rc;
    const TStartFromIndexOutcome index = ReadStartFromIndexOf(device);
    if (!index.Succeeded())
        return DeviceFailure(index);
    QJsonArray array;
    for (const TStartFromIndexEntry& e : index.Entries) {
        Data(QString("%1\t%2\t%3").arg(e.Index).arg(e.LineNumber).arg(e.UncompressedOffset));
        array.append(
            QJsonObject { { "index", e.Index }, { "line", e.LineNumber }, { "offset", e.UncompressedOffset } });
    }
    Report().Fields.insert("entries", array);
    Note(index.Message);
    return Succeed(index.Message);
}

int CmdPeek(TContext& context)
{
    const TCliArgs& args = context.A;
    qint32 index;
    if (args.Args.size() != 2 || !ParseIndex(args.Args[1], index))
        return Usage("peek: IP and a point number expected");
    const QString ip = args.Args[0];
    Report().Fields = { { "ip", ip }, { "point", index } };
    TQuillexDevice device;
    if (const int rc = ConnectDevice(context, ip, device); rc != ExitOk)
        return rc;
    const TPeekOutcome peek = PeekStartFromPoint(device, index);
    if (!peek.Succeeded())
        return DeviceFailure(peek);
    Data(peek.Previous);
    Data(peek.Line);
    Data(peek.Next);
    Report().Fields.insert("previous", peek.Previous);
    Report().Fields.insert("line", peek.Line);
    Report().Fields.insert("next", peek.Next);
    return Succeed(QString());
}

int CmdStartFrom(TContext& context)
{
    const TCliArgs& args = context.A;
    qint32 index;
    if (args.Args.size() != 2 || !ParseIndex(args.Args[1], index))
        return Usage("startfrom: IP and a point number expected");
    const QString ip = args.Args[0];
    Report().Fields = { { "ip", ip }, { "point", index } };
    TQuillexDevice device;
    if (const int rc = ConnectDevice(context, ip, device); rc != ExitOk)
        return rc;
    const TOperationOutcome outcome = RunStartFrom(device, index);
    KeepRecord(args, outcome);
    if (!outcome.Succeeded())
        return DeviceFailure(outcome);
    return Succeed(outcome.Shown, true);
}

// The device verbs' address word: an IPv4 address as it is, a device's name or
// MacId looked up among the devices heard; what is no address is a usage error.
int ResolveDeviceAddress(TContext& context, QString& word)
{
    QString text;
    switch (ClassifyAddressWord(word, text)) {
    case TAddressWord::Invalid:
        return Usage(context.A.Verb + ": " + text);
    case TAddressWord::Ipv4:
        word = text;
        return ExitOk;
    case TAddressWord::Device:
        break;
    }
    TStatusListenerThread* listener = nullptr;
    if (const int rc = context.Listen(listener); rc != ExitOk)
        return rc;
    // Once a device of the name is heard, a while longer: another one of the
    // same name sends its status within that time too.
    constexpr qint64 SettleMs = 1500;
    QElapsedTimer timer;
    timer.start();
    qint64 firstHeard = -1;
    QList<TQuillexDevice> found;
    while (timer.elapsed() < StatusWaitMs && (firstHeard < 0 || timer.elapsed() - firstHeard < SettleMs)) {
        found = DevicesNamed(word, listener->BuildDeviceList());
        if (!found.isEmpty() && firstHeard < 0)
            firstHeard = timer.elapsed();
        QThread::msleep(50);
    }
    found = DevicesNamed(word, listener->BuildDeviceList());
    if (found.isEmpty())
        return Fail(ExitFailed, "device_not_found",
            QString::fromUtf8("%1 adında ya da MacId'si bu olan bir cihaz %2 sn içinde duyulmadı")
                .arg(word)
                .arg(StatusWaitMs / 1000));
    if (found.size() > 1) {
        QStringList addresses;
        for (const TQuillexDevice& device : found)
            addresses << device.IPAddress;
        return Usage(QString("%1: %2 names %3 devices (%4); give the address or the MacId")
                         .arg(context.A.Verb, word)
                         .arg(found.size())
                         .arg(addresses.join(", ")));
    }
    word = found.first().IPAddress;
    return ExitOk;
}

// The PIN the caller gave: --pin, --pin-file or QUILLEX_PIN, one of them.
int CallerPin(const TCliArgs& args, QString& pin)
{
    if (args.IsSet("pin") && args.IsSet("pin-file"))
        return Usage("--pin and --pin-file exclude each other");
    QString source = "QUILLEX_PIN";
    if (args.IsSet("pin")) {
        pin = args.Value("pin");
        source = "--pin";
    } else if (args.IsSet("pin-file")) {
        source = "--pin-file";
        QString error;
        if (!ReadPinFile(args.Value("pin-file"), pin, error))
            return Fail(ExitFailed, "file_error", args.Value("pin-file") + ": " + error);
    } else {
        pin = qEnvironmentVariable("QUILLEX_PIN");
    }
    if (!pin.isEmpty() && !IsValidPin(pin))
        return Usage(source + QString::fromUtf8(": Şifre 4-8 rakamdan oluşmalı."));
    return ExitOk;
}

} // namespace

const char* const DeviceCommandsSummary = R"(Device commands:
  devices [--listen SECONDS]            list the devices heard on the network
  status IP [--listen SECONDS]          print a device's status document
  upload IP FILE|- [--raw] [--verify]   send a program (or CMT file) to a device
  download IP [-o FILE|-]               fetch the stored program or raw capture
  verify IP FILE|- [--raw]              compare the stored program with what FILE would send
  send IP [--] COMMAND-LINE...          send configuration command lines in one batch
  index IP                              read the start-from index
  peek IP N                             the program lines around start-from point N
  startfrom IP N                        play the stored program from point N
)";

const char* DeviceCommandHelp(const QString& verb)
{
    for (const THelp& help : Helps)
        if (verb == help.Name)
            return help.Text;
    return nullptr;
}

int RunDeviceCommand(const TCliArgs& args)
{
    using THandler = int (*)(TContext&);
    const std::pair<const char*, THandler> handlers[] = {
        { "devices", CmdDevices },
        { "status", CmdStatus },
        { "upload", CmdUpload },
        { "download", CmdDownload },
        { "verify", CmdVerify },
        { "send", CmdSend },
        { "index", CmdIndex },
        { "peek", CmdPeek },
        { "startfrom", CmdStartFrom },
    };
    for (const auto& [name, handler] : handlers) {
        if (args.Verb != name)
            continue;
        if ((args.Verb == "upload" || args.Verb == "verify") && args.Args.value(1) == "-"
            && args.Value("pin-file") == "-")
            return Usage(args.Verb + ": the program and --pin-file cannot both come from standard input");
        TCliArgs resolved = args; // the address word replaced by the device's address
        TContext context(resolved);
        if (const int rc = CallerPin(args, context.Pin); rc != ExitOk)
            return rc;
        const QString mode = args.Value("progress");
        if (mode == "bar")
            context.Progress = TProgressMode::Bar;
        else if (mode == "lines")
            context.Progress = TProgressMode::Lines;
        else if (mode == "none")
            context.Progress = TProgressMode::None;
        else if (mode != "auto" && !mode.isEmpty())
            return Usage("--progress: auto, bar, lines or none expected");
        if (Report().Quiet)
            context.Progress = TProgressMode::None;
        if (args.IsSet("pin-required") && !context.NoStatus())
            return Usage("--pin-required only with --no-status");
        if (args.Verb != "devices" && !resolved.Args.isEmpty())
            if (const int rc = ResolveDeviceAddress(context, resolved.Args[0]); rc != ExitOk)
                return rc;
        return handler(context);
    }
    return -1;
}

#include "HistoryCommands.h"

#include "CliOutput.h"
#include "config/Settings.h"
#include "history/HistoryFormat.h"
#include "history/HistoryStore.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace {

const char* const HistoryHelp
    = "Usage: quillex-cli history [--device IP|MAC] [--workstation HOST] [--since DATE] [--json|--csv] [--limit N]\n"
      "Prints the recorded uploads, downloads, start-from commands and command batches,\n"
      "oldest first: time (UTC), kind, outcome, device, IP, MacId, file or command lines,\n"
      "bytes, CRC-32, read-back result and message, separated by tabs, one line per\n"
      "record: a tab, line break, other control character or backslash in a field is\n"
      "written as \\t, \\n, \\uXXXX or \\\\, an empty field as -. The outcome is ok, failed,\n"
      "or for an upload sent but not found equal on reading it back mismatch or\n"
      "verify_failed. --device keeps one device (its IP\n"
      "address or MacId), --workstation the records of one computer (its host name), --since the records from DATE on "
      "(2026-12-01, local midnight,\n"
      "or a time such as 2026-12-01T08:00:00Z), --limit the newest N. --json prints an\n"
      "array of objects, --csv comma-separated values with a header line.\n"
      "The history is kept in ~/.local/share/quillex/history.sqlite, or, when the settings\n"
      "file's [History] Database names a postgresql://host:port/database URL, on that\n"
      "server, shared by every workstation (records wait in the file while it is away).\n"
      "Example: quillex-cli history --device 192.168.1.20 --since 2026-12-01 --csv\n";

const char* const MachinesHelp = "Usage: quillex-cli machines [--json]\n"
                                 "Prints what is on each machine: for every device in the transfer history, the\n"
                                 "last upload that reached it, one line per device ordered by name: device, IP,\n"
                                 "MacId, file, time (UTC), user, workstation and whether it was read back equal\n"
                                 "(verified, not_verified or verify_failed), separated by tabs, as in the history\n"
                                 "listing; then the operator's line \"Son gönderilen: ...\". --json prints an array\n"
                                 "of objects with the history's fields and \"verified\".\n"
                                 "Example: quillex-cli machines --json\n";

QString SettingsFileOf(const TCliArgs& args)
{
    return args.IsSet("settings") ? args.Value("settings") : SettingsFilePath();
}

// A day (its local midnight) or a time with its zone.
bool ParseSince(const QString& text, QDateTime& since)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10) {
        since = day.startOfDay();
        return true;
    }
    since = QDateTime::fromString(text, Qt::ISODateWithMs);
    return since.isValid();
}

// The shared history's URL as shown: never a password.
QString SharedLocationText(const QString& location)
{
    return QUrl(location).toDisplayString(QUrl::RemovePassword);
}

// The history to read: the shared one when the settings name one and it
// answers, else this workstation's file (with a note why); false when there
// is none yet or it cannot be opened (errorMsg then says why).
bool OpenHistoryToRead(const TCliArgs& args, THistoryStore& store, QString& errorMsg)
{
    const QString sharedLocation = HistoryDatabaseSetting(SettingsFileOf(args));
    if (!sharedLocation.isEmpty()) {
        if (store.Open(sharedLocation, errorMsg))
            return true;
        Note(QString::fromUtf8("quillex-cli: ortak aktarım geçmişine ulaşılamadı (%1): %2; bu bilgisayarın kayıtları "
                               "gösteriliyor")
                 .arg(SharedLocationText(sharedLocation), errorMsg));
        errorMsg.clear();
    }
    const QString path = DefaultHistoryPath();
    if (!QFileInfo::exists(path)) // nothing recorded yet, and no file is made for asking
        return false;
    if (!store.Open(path, errorMsg)) {
        errorMsg = QString("%1: %2").arg(path, errorMsg);
        return false;
    }
    return true;
}

// Half a second of pruning per command at most.
constexpr qint64 CliPruneBudgetMs = 500;

// Standard output as the rows are read: a million records never sit in memory.
class TStdoutWriter {
public:
    void Write(const QByteArray& bytes)
    {
        if (FOk && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
            FOk = false;
    }
    bool Finish() { return std::fflush(stdout) == 0 && FOk; }

private:
    bool FOk = true;
};

QByteArray PlainListingLine(const TTransferRecord& r)
{
    // A batch's lines and a message's lines read as one line; what else breaks a line is escaped.
    const QString what = r.FileName.isEmpty() ? QString(r.Detail).replace('\n', "; ") : r.FileName;
    QStringList fields { HistoryTimeText(r.Time), TransferKindName(r.Kind), HistoryOutcomeName(r), r.DeviceName,
        r.IPAddress, r.MacId, what, QString::number(r.ByteCount), r.Crc32, r.Verification,
        QString(r.Message).replace("\r\n", " ").replace('\n', ' ') };
    for (QString& field : fields)
        field = PlainListingField(field);
    return TerminalText(fields.join('\t'), stdout).toUtf8() + '\n';
}

// The listing in the asked format, oldest first, row by row; store null for an
// empty history.
int WriteHistoryListing(const TCliArgs& args, const THistoryStore* store, const THistoryFilter& filter)
{
    enum { Plain, Csv, Json } format = args.IsSet("csv") ? Csv : Report().Json ? Json : Plain;
    TStdoutWriter out;
    if (format == Csv)
        out.Write(CsvLine(HistoryFieldNames()));
    if (format == Json)
        out.Write("[");
    bool first = true;
    QString error;
    const bool read = !store
        || store->Each(
            filter, THistoryOrder::OldestFirst,
            [&](const TTransferRecord& r) {
                if (format == Csv)
                    out.Write(CsvLine(HistoryFieldValues(r)));
                else if (format == Json)
                    out.Write(
                        (first ? "\n" : ",\n") + QJsonDocument(HistoryRecordJson(r)).toJson(QJsonDocument::Compact));
                else
                    out.Write(PlainListingLine(r));
                first = false;
                return true;
            },
            error);
    if (format == Json) {
        // Written whole even when reading stopped, so that it still parses; the
        // failure is on standard error and in the exit code.
        out.Write(first ? "]\n" : "\n]\n");
        Report().Written = true;
    }
    if (!read)
        return Fail(ExitFailed, "history_error",
            QString("%1: %2").arg(store->IsShared() ? SharedLocationText(store->Path()) : store->Path(), error));
    if (!out.Finish())
        return Fail(ExitFailed, "output_error", QString::fromUtf8("quillex-cli: standart çıktı yazılamadı"));
    return Succeed(QString());
}

} // namespace

const char* const HistoryCommandsSummary = R"(History:
  history [--device IP|MAC] [--since DATE] [--limit N] [--csv]   print the recorded operations
  machines                                 the last program sent to each device
)";

const char* HistoryCommandHelp(const QString& command)
{
    return command == "history" ? HistoryHelp : command == "machines" ? MachinesHelp : nullptr;
}

void RecordCliHistory(const TCliArgs& args, const TTransferRecord& record)
{
    const QString settings = SettingsFileOf(args);
    const QString sharedLocation = HistoryDatabaseSetting(settings);
    const bool shared = !sharedLocation.isEmpty();
    THistoryStore store;
    QString error;
    TTransferRecord copy = record;
    // With a shared history the file is the queue: the record waits there
    // until the server has it.
    if (!store.Open(DefaultHistoryPath(), error) || !store.Add(copy, error, shared)) {
        Err(QString::fromUtf8("quillex-cli: aktarım geçmişi kaydedilemedi (%1): %2").arg(store.Path(), error));
        return;
    }
    if (shared) {
        THistoryStore server;
        if (!server.Open(sharedLocation, error) || ForwardPendingRecords(store, server, error) < 0) {
            QString countError;
            Err(QString::fromUtf8("quillex-cli: ortak aktarım geçmişine ulaşılamadı (%1): %2; %3 kayıt bekliyor")
                    .arg(SharedLocationText(sharedLocation), error)
                    .arg(store.PendingCount(countError)));
        }
    }
    // Then pruning in batches for a moment at most, so that a million
    // expired records never keep the command from ending. What is left goes
    // on the next runs.
    const int days = HistoryMaxAgeDays(settings);
    const QDateTime before = QDateTime::currentDateTimeUtc().addDays(-days);
    QElapsedTimer clock;
    clock.start();
    qint64 removed = HistoryPruneBatch;
    while (days > 0 && removed == HistoryPruneBatch && clock.elapsed() < CliPruneBudgetMs)
        removed = store.RemoveOlderThan(before, error, HistoryPruneBatch);
    if (removed < 0)
        Err(QString::fromUtf8("quillex-cli: aktarım geçmişi kaydedilemedi (%1): %2").arg(store.Path(), error));
}

namespace {

// The stable word for what the read-back of the last upload found.
QString LastSentVerificationName(const TTransferRecord& r)
{
    return r.Verification.isEmpty() ? "not_verified" : r.Verification == "verified" ? "verified" : "verify_failed";
}

int RunMachinesCommand(const TCliArgs& args)
{
    if (!args.Args.isEmpty())
        return Usage("machines: bad argument " + args.Args.first());
    QList<TTransferRecord> sent;
    THistoryStore store;
    QString error;
    if (!OpenHistoryToRead(args, store, error) && !error.isEmpty())
        return Fail(ExitFailed, "history_error", error);
    if (store.IsOpen() && !store.LastSent(sent, error))
        return Fail(ExitFailed, "history_error", QString("%1: %2").arg(store.Path(), error));
    QJsonArray array;
    for (const TTransferRecord& r : sent) {
        QJsonObject object = HistoryRecordJson(r);
        object.insert("verified", LastSentVerificationName(r));
        array.append(object);
        QStringList fields { r.DeviceName, r.IPAddress, r.MacId, r.FileName, HistoryTimeText(r.Time), r.UserName,
            r.HostName, LastSentVerificationName(r), LastSentLine(r) };
        for (QString& field : fields)
            field = PlainListingField(field);
        Data(fields.join('\t'));
    }
    Report().SuccessDocument = QJsonDocument(array);
    return Succeed(QString());
}

} // namespace

int RunHistoryCommand(const TCliArgs& args)
{
    if (args.Verb == "machines")
        return RunMachinesCommand(args);
    if (args.Verb != "history")
        return -1;
    if (!args.Args.isEmpty())
        return Usage("history: bad argument " + args.Args.first());
    if (args.IsSet("csv") && Report().Json)
        return Usage("history: --json and --csv exclude each other");
    THistoryFilter filter;
    filter.Device = args.Value("device");
    filter.Workstation = args.Value("workstation");
    if (args.IsSet("since") && !ParseSince(args.Value("since"), filter.Since))
        return Usage("history: --since needs a date (2026-12-01) or a time (2026-12-01T08:00:00Z)");
    if (args.IsSet("limit")) {
        bool ok = false;
        filter.Limit = args.Value("limit").toInt(&ok);
        if (!ok || filter.Limit < 0)
            return Usage("history: --limit needs a number of records");
    }
    THistoryStore store;
    QString error;
    if (!OpenHistoryToRead(args, store, error) && !error.isEmpty())
        return Fail(ExitFailed, "history_error", error);
    return WriteHistoryListing(args, store.IsOpen() ? &store : nullptr, filter);
}

#include "HistoryCommands.h"

#include "CliOutput.h"
#include "config/Settings.h"
#include "history/HistoryFormat.h"
#include "history/HistoryStore.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {

const char* const HistoryHelp
    = "Usage: quillex-cli history [--device IP|MAC] [--since DATE] [--json|--csv] [--limit N]\n"
      "Prints the recorded uploads, downloads, start-from commands and command batches,\n"
      "oldest first: time (UTC), kind, outcome, device, IP, MacId, file or command lines,\n"
      "bytes, CRC-32 and message, separated by tabs. --device keeps one device (its IP\n"
      "address or MacId), --since the records from DATE on (2026-12-01, local midnight,\n"
      "or a time such as 2026-12-01T08:00:00Z), --limit the newest N. --json prints an\n"
      "array of objects, --csv comma-separated values with a header line.\n"
      "The history is kept in ~/.local/share/quillex/history.sqlite.\n"
      "Example: quillex-cli history --device 192.168.1.20 --since 2026-12-01 --csv\n";

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

} // namespace

const char* const HistoryCommandsSummary = R"(History:
  history [--device IP|MAC] [--since DATE] [--limit N] [--csv]   print the recorded operations
)";

const char* HistoryCommandHelp(const QString& command)
{
    return command == "history" ? HistoryHelp : nullptr;
}

void RecordCliHistory(const TCliArgs& args, const TTransferRecord& record)
{
    THistoryStore store;
    QString error;
    TTransferRecord copy = record;
    if (store.Open(DefaultHistoryPath(), error)) {
        const int days = HistoryMaxAgeDays(SettingsFileOf(args));
        if ((days == 0 || store.RemoveOlderThan(QDateTime::currentDateTimeUtc().addDays(-days), error) >= 0)
            && store.Add(copy, error))
            return;
    }
    Err(QString::fromUtf8("quillex-cli: aktarım geçmişi kaydedilemedi (%1): %2").arg(store.Path(), error));
}

int RunHistoryCommand(const TCliArgs& args)
{
    if (args.Verb != "history")
        return -1;
    if (!args.Args.isEmpty())
        return Usage("history: bad argument " + args.Args.first());
    if (args.IsSet("csv") && Report().Json)
        return Usage("history: --json and --csv exclude each other");
    THistoryFilter filter;
    filter.Device = args.Value("device");
    if (args.IsSet("since") && !ParseSince(args.Value("since"), filter.Since))
        return Usage("history: --since needs a date (2026-12-01) or a time (2026-12-01T08:00:00Z)");
    if (args.IsSet("limit")) {
        bool ok = false;
        filter.Limit = args.Value("limit").toInt(&ok);
        if (!ok || filter.Limit < 0)
            return Usage("history: --limit needs a number of records");
    }
    const QString path = DefaultHistoryPath();
    QList<TTransferRecord> records;
    if (QFileInfo::exists(path)) { // no file: nothing recorded yet, and none is made for asking
        THistoryStore store;
        QString error;
        if (!store.Open(path, error) || !store.List(filter, records, error))
            return Fail(ExitFailed, "history_error", QString("%1: %2").arg(path, error));
    }
    std::reverse(records.begin(), records.end()); // the newest N, oldest first
    if (args.IsSet("csv")) {
        const QByteArray csv = HistoryCsv(records);
        std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
        return Succeed(QString());
    }
    QJsonArray array;
    for (const TTransferRecord& r : records) {
        array.append(HistoryRecordJson(r));
        const QString what = r.FileName.isEmpty() ? QString(r.Detail).replace('\n', "; ") : r.FileName;
        Data(QStringList { HistoryTimeText(r.Time), TransferKindName(r.Kind), r.Success ? "ok" : "failed", r.DeviceName,
            r.IPAddress, r.MacId.isEmpty() ? "-" : r.MacId, what.isEmpty() ? "-" : what, QString::number(r.ByteCount),
            r.Crc32.isEmpty() ? "-" : r.Crc32, QString(r.Message).replace("\r\n", " ").replace('\n', ' ') }
                 .join('\t'));
    }
    Report().SuccessDocument = QJsonDocument(array);
    return Succeed(QString());
}

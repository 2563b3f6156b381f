#pragma once
// What every verb of quillex-cli prints, and its exit codes. Messages go to
// standard error; results to standard output, or with --json into one object
// {"ok", "code", "message", ...fields} that main prints when the verb ends.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <optional>

#include <unistd.h>

enum TExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPin = 3 };

// The outcome of the running verb.
struct TReport {
    bool Json = false;
    bool Quiet = false;
    QString Code; // a stable English word for the kind of outcome: "ok", "usage", "pin_refused", ...
    QString Message; // the text shown to the operator, without the "Hata: " frame
    QJsonObject Fields;
    std::optional<QJsonDocument> SuccessDocument; // printed instead of the object on success
    bool Written = false; // the verb wrote its JSON itself, as it read it
};

inline TReport& Report()
{
    static TReport report;
    return report;
}

// The lines carry device texts (names, status, ERR replies, peeked lines): on
// a terminal their control characters, escape sequences above all, would act
// on the terminal, so each one but tab shows as '?'. Redirected output keeps
// every byte.
inline QString TerminalText(const QString& text, std::FILE* stream)
{
    if (!::isatty(::fileno(stream)))
        return text;
    QString safe = text;
    for (QChar& c : safe)
        if ((c.unicode() < 32 && c != u'\t') || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            c = u'?';
    return safe;
}

// Every write to standard output goes through here: the first failure's
// reason is kept, and the verb ends with it (exit 1) however far it got, so
// that output cut short by a full disk never passes for a result.
bool PutStdout(const char* data, qsizetype size);
inline bool PutStdout(const QByteArray& bytes)
{
    return PutStdout(bytes.constData(), bytes.size());
}
// After the verb: flushes standard output. The message for output that was
// lost ("standard output: No space left on device"), empty when all of it was written.
QString FinishStdout();

inline void Err(const QString& text)
{
    std::fprintf(stderr, "%s\n", TerminalText(text, stderr).toUtf8().constData());
}
inline void Out(const QString& text)
{
    PutStdout(TerminalText(text, stdout).toUtf8() + '\n');
}

// A line of the verb's result on standard output; with --json the fields carry it.
inline void Data(const QString& text)
{
    if (!Report().Json)
        Out(text);
}

// A remark on standard error that --quiet silences.
inline void Note(const QString& text)
{
    if (!Report().Quiet)
        Err(text);
}

// A failure: the text on standard error, its kind and message for --json.
inline int Fail(int exit, const QString& code, const QString& message, const QString& shown = {})
{
    Err(shown.isEmpty() ? message : shown);
    Report().Code = code;
    Report().Message = message;
    return exit;
}

// A failed device operation, shown as the window shows it: "Hata: " and the message.
inline int FailDevice(int exit, const QString& code, const QString& message)
{
    return Fail(exit, code, message, "Hata: " + message);
}

// A one-line usage error.
inline int Usage(const QString& message)
{
    return Fail(ExitUsage, "usage", "quillex-cli: " + message + " (see --help)");
}

// Success with the operation's message; printed on standard output when asked.
inline int Succeed(const QString& message, bool print = false)
{
    Report().Code = "ok";
    Report().Message = message;
    if (print && !Report().Json && !Report().Quiet)
        Out(message);
    return ExitOk;
}

// "-" names standard input and standard output. A FIFO, a device or a terminal
// named as the output is written directly; a regular file is replaced whole.
bool ReadInput(const QString& path, QByteArray& bytes, QString& errorMsg);
bool WriteOutput(const QString& path, const QByteArray& bytes, QString& errorMsg);

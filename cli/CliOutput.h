#pragma once
// What every verb of quillex-cli prints, and its exit codes.
#include <QString>

#include <cstdio>
#include <unistd.h>

enum TExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPin = 3 };

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

inline void Err(const QString& text)
{
    std::fprintf(stderr, "%s\n", TerminalText(text, stderr).toUtf8().constData());
}
inline void Out(const QString& text)
{
    std::fprintf(stdout, "%s\n", TerminalText(text, stdout).toUtf8().constData());
}

// A one-line usage error.
inline int Usage(const QString& message)
{
    Err("quillex-cli: " + message + " (see --help)");
    return ExitUsage;
}

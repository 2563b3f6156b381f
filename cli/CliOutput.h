#pragma once
// What every verb of quillex-cli prints, and its exit codes.
#include <QString>

#include <cstdio>

enum TExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPin = 3 };

inline void Err(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}
inline void Out(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
}

// A one-line usage error.
inline int Usage(const QString& message)
{
    Err("quillex-cli: " + message + " (see --help)");
    return ExitUsage;
}

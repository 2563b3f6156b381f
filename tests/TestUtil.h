#pragma once
// Small helpers the test programs share.
#include "content/TextDocument.h"

#include <QDir>
#include <QDirIterator>
#include <QStringList>
#include <QTest>

// Stops a test that reads the shared G-code corpus (the CMake cache variable
// QUILLEX_GCODE_DATA) when the folder is missing: a failure under CI, where a
// skip would count as a pass, and a skip elsewhere.
#define QUILLEX_REQUIRE_CORPUS()                                                                                       \
    do {                                                                                                               \
        if (!QDir(QUILLEX_GCODE_DATA).exists()) {                                                                      \
            if (!qEnvironmentVariableIsEmpty("CI"))                                                                    \
                QFAIL("the G-code corpus " QUILLEX_GCODE_DATA " is missing; fetch it or configure with "               \
                      "-DQUILLEX_GCODE_DATA=<folder>");                                                                \
            QSKIP("the G-code corpus " QUILLEX_GCODE_DATA " is missing (CI unset, so not a failure)");                 \
        }                                                                                                              \
    } while (false)

// The real programs of the shared corpus, sorted; empty when it is absent.
inline QStringList CorpusFiles()
{
    QStringList files;
    QDirIterator it(QUILLEX_GCODE_DATA, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (const QString path = it.next(); !path.endsWith(".md"))
            files << path;
    files.sort();
    return files;
}

inline QByteArray FileBytes(const QString& path)
{
    QByteArray bytes;
    QString error;
    ReadWholeFile(path, bytes, error);
    return bytes;
}

#pragma once
// Small helpers the test programs share.
#include "content/TextDocument.h"

#include <QDirIterator>
#include <QStringList>

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

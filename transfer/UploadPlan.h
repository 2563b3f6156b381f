#pragma once
// What the upload command decides before a transfer: the bytes and tool-change
// candidates of a document, and the device's limits from its status document.
#include "content/ToolChangeScanner.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

constexpr qint64 DefaultMaxRawSize = 33554432;
constexpr int FirstExtendedBuild = 496;
// Only this much of a file decides whether it is CMT data.
constexpr qsizetype CmtSniffLength = 4096;

struct TUploadPlan {
    qint64 MaxRawSize = DefaultMaxRawSize;
    bool LegacyDevice = true;
    QList<TStartFromCandidate> Candidates;
};

// MaxRawSize from "maxfilesize", LegacyDevice from "build", the candidates only
// for devices whose "hw" keeps an index; defaults when the text is not a JSON object.
TUploadPlan DecideUploadPlan(const QString& statusText, const QList<TStartFromCandidate>& scannedCandidates);

struct TPreparedUpload {
    bool IsCmt = false;
    QByteArray Content;
    QStringList Lines; // the normalised editor lines (text only)
    QList<TStartFromCandidate> Candidates;
};

// A file as opening it and pressing upload would send it: CMT data unchanged;
// text read as a document, word spaces inserted unless for SIEMENS, normalised
// and scanned.
TPreparedUpload PrepareFileForUpload(const QByteArray& fileBytes, bool siemens);

// The editor's text lines as the upload sends them (normalisation and scan).
TPreparedUpload PrepareLinesForUpload(const QStringList& editorLines, bool siemens);

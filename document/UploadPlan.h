#pragma once
// What the upload command decides before a transfer from the device's status
// document: its byte limit, whether it is a legacy device, and which tool-change
// candidates it keeps.
#include "content/ToolChangeScanner.h"
#include "device/ProgramTransfer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

constexpr int FirstExtendedBuild = 496;
// Only this much of a file decides whether it is CMT data.
constexpr qsizetype CmtSniffLength = 4096;

struct TUploadPlan {
    qint64 MaxRawSize = DefaultMaxFileSize; // what a device stores at most when its status does not say
    bool LegacyDevice = true;
    QList<TStartFromCandidate> Candidates;
};

// MaxRawSize from "maxfilesize", LegacyDevice from "build", the candidates only
// for devices whose "hw" keeps an index; defaults when the text is not a JSON object.
TUploadPlan DecideUploadPlan(const QString& statusText, const QList<TStartFromCandidate>& scannedCandidates);

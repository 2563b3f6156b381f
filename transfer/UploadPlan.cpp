#include "UploadPlan.h"

#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "content/UnitMazatrolCmt.h"
#include "device/JsonText.h"
#include "discovery/DeviceStatusView.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

TUploadPlan DecideUploadPlan(const QString& statusText, const QList<TStartFromCandidate>& scannedCandidates)
{
    TUploadPlan plan;
    QJsonObject status;
    if (!ParseJsonObject(statusText, status))
        return plan;

    bool ok = false;
    const qint64 maxFileSize = JsonMemberText(status, "maxfilesize").toLongLong(&ok, 10);
    if (ok)
        plan.MaxRawSize = maxFileSize;
    if (status.contains("build")) {
        const qint32 build = JsonMemberText(status, "build").toInt(&ok, 10);
        plan.LegacyDevice = (ok ? build : 0) < FirstExtendedBuild;
    }
    if (KeepsStartFromIndex(JsonMemberText(status, "hw")))
        plan.Candidates = scannedCandidates;
    return plan;
}

TPreparedUpload PrepareLinesForUpload(const QStringList& editorLines, bool siemens)
{
    TPreparedUpload upload;
    const TToolChangeScan scan = ScanToolChangeLines(NormalizeProgramForUpload(editorLines, siemens), 2);
    upload.Lines = scan.Lines;
    if (!scan.MultipleProgramNumbers)
        upload.Candidates = scan.Candidates;
    upload.Content = ProgramUploadBytes(upload.Lines);
    return upload;
}

TPreparedUpload PrepareFileForUpload(const QByteArray& fileBytes, bool siemens)
{
    if (IsCmtData(fileBytes.left(CmtSniffLength))) {
        TPreparedUpload upload;
        upload.IsCmt = true;
        upload.Content = fileBytes;
        return upload;
    }
    return PrepareLinesForUpload(OpenProgramDocument(fileBytes, siemens).Lines, siemens);
}

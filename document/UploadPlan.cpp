#include "UploadPlan.h"

#include "device/JsonText.h"
#include "device/ProgramTransfer.h"
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
    // What the device claims lifts no bound of the program's own: no stored
    // program is longer than MaxDownloadBytes.
    if (ok)
        plan.MaxRawSize = qBound<qint64>(0, maxFileSize, MaxDownloadBytes);
    if (status.contains("build")) {
        const qint32 build = JsonMemberText(status, "build").toInt(&ok, 10);
        plan.LegacyDevice = (ok ? build : 0) < FirstExtendedBuild;
    }
    if (KeepsStartFromIndex(JsonMemberText(status, "hw")))
        plan.Candidates = scannedCandidates;
    return plan;
}

// The restart check on the device's own program: which text is checked, and
// the read-back that fetches it when this computer has no copy.
#include "StoredProgramCheck.h"

#include "HistoryFormat.h"
#include "content/CodePage.h"
#include "content/ProgramText.h"
#include "content/UnitMazatrolCmt.h"
#include "transfer/UnitFileTransfer.h"

const char* const StoredProgramNoCopy
    = "Cihazdaki programın kopyası bu bilgisayarda yok; güvenlik kontrolü yapılamadı.";

namespace {

const char* const SiemensNotChecked = "SIEMENS kontrolünün programı yorumlanmıyor; güvenlik kontrolü yapılamadı.";
const char* const NotGCodeNotChecked = "Cihazdaki program bir G-kodu metni değil; güvenlik kontrolü yapılamadı.";

TStoredProgramCheck NotChecked(const char* message, bool readBackOffered)
{
    TStoredProgramCheck result;
    result.Message = QString::fromUtf8(message);
    result.ReadBackOffered = readBackOffered;
    return result;
}

TStoredProgramCheck CheckText(const QByteArray& text, const QList<TStartFromIndexEntry>& entries)
{
    QList<qint32> lines;
    for (const TStartFromIndexEntry& entry : entries)
        lines.append(entry.LineNumber);
    const QList<TRestartCheck> checks = CheckRestarts(text, lines);
    TStoredProgramCheck result;
    result.Checked = true;
    for (int i = 0; i < entries.size() && i < checks.size(); ++i)
        result.Checks.insert(entries[i].Index, checks[i]);
    return result;
}

} // namespace

QStringList TStoredProgramCheck::Lines(qint32 index) const
{
    if (!Checked)
        return { Message };
    const auto found = Checks.constFind(index);
    if (found == Checks.cend()) // an entry the check was not given: nothing is known of it
        return { QString::fromUtf8("Bu devam noktası için güvenlik kontrolü yapılamadı.") };
    return found->Warnings.isEmpty() ? QStringList { QString::fromUtf8(RestartAllClear) } : found->Warnings;
}

bool TStoredProgramCheck::AllClear(qint32 index) const
{
    const auto found = Checks.constFind(index);
    return Checked && found != Checks.cend() && found->Checked && found->Warnings.isEmpty();
}

QByteArray EditorUploadBytes(const TStoredProgramCheckInput& input)
{
    return UploadBytesOfText(NormalizeTextForUpload(input.EditorText, input.Siemens));
}

bool DeviceHoldsBytes(const std::optional<TTransferRecord>& lastUpload, const QByteArray& uploadBytes)
{
    // A read-back that found other bytes, or could not read them, leaves the
    // device's program unknown.
    return lastUpload && lastUpload->Kind == TTransferKind::Upload && HistoryRecordSucceeded(*lastUpload)
        && lastUpload->Sha256.size() == 64 && lastUpload->ByteCount == uploadBytes.size()
        && lastUpload->Sha256 == Sha256Hex(uploadBytes);
}

TStoredProgramCheck CheckEditorProgram(
    const TStoredProgramCheckInput& input, const QList<TStartFromIndexEntry>& entries)
{
    if (input.Siemens)
        return NotChecked(SiemensNotChecked, false);
    if (!input.EditorHoldsText || !input.LastUpload)
        return NotChecked(StoredProgramNoCopy, true);
    const QByteArray bytes = EditorUploadBytes(input);
    if (!DeviceHoldsBytes(input.LastUpload, bytes))
        return NotChecked(StoredProgramNoCopy, true);
    // The bytes the device stores: lines count as the device counts them.
    return CheckText(bytes, entries);
}

TStoredProgramCheck CheckStoredProgram(
    const QByteArray& stored, bool isRaw, bool siemens, const QList<TStartFromIndexEntry>& entries)
{
    if (siemens)
        return NotChecked(SiemensNotChecked, false);
    if (isRaw || IsCmtData(stored))
        return NotChecked(NotGCodeNotChecked, false);
    // One character per byte, as a download is shown: the lines stay the device's lines.
    return CheckText(DecodeAnsi(stored).toUtf8(), entries);
}

TStoredProgramCheck ReadBackAndCheck(const QString& ipAddress, quint16 port, bool siemens,
    const QList<TStartFromIndexEntry>& entries, qint64 maxFileSize, const TSendProgramProgressProc& onProgress)
{
    QByteArray stored;
    bool isRaw = false;
    QString message;
    const bool received = RunTransferGuarded(
        [&] { return ReceiveProgramFromDevice(ipAddress, port, stored, isRaw, message, onProgress, maxFileSize); },
        message);
    if (!received) {
        TStoredProgramCheck result;
        result.ReadBackOffered = true; // another try may reach the device
        result.Message = QString::fromUtf8("Cihazdan alınamadı (%1); güvenlik kontrolü yapılamadı.").arg(message);
        return result;
    }
    return CheckStoredProgram(stored, isRaw, siemens, entries);
}

#pragma once
// The restart check of the start-from points a device holds, run on the
// program the device really holds: the editor's program when its upload bytes
// have the SHA-256 of the last upload that reached the device, otherwise only
// the program read back from the device. Without either nothing is checked
// and the operator is told so: never an all-clear for a program not seen.
#include "TransferRecord.h"

#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "toolpath/RestartCheck.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// "Cihazdaki programın kopyası bu bilgisayarda yok; güvenlik kontrolü yapılamadı."
extern const char* const StoredProgramNoCopy;

// What the window knows of the device and its editor when the check starts.
struct TStoredProgramCheckInput {
    QByteArray EditorText; // the editor's UTF-8 text
    bool EditorHoldsText = false; // a G-code text, not a CMT file or a raw capture
    bool Siemens = false; // the device's controller
    std::optional<TTransferRecord> LastUpload; // the newest upload that reached the device
    qint64 MaxFileSize = DefaultMaxFileSize; // the device's limit, which bounds a read-back
};

struct TStoredProgramCheck {
    // The program was checked: Checks holds every entry's result.
    bool Checked = false;
    // Not checked, and reading the program back from the device may help.
    bool ReadBackOffered = false;
    QString Message; // why nothing was checked
    QHash<qint32, TRestartCheck> Checks; // by the entry's Index

    // The lines to show for the entry: its warnings, the all-clear line, or
    // why nothing was checked.
    QStringList Lines(qint32 index) const;
    // True only for an entry checked and found without warnings.
    bool AllClear(qint32 index) const;
};

// The bytes an upload of the editor's text sends, which the device stores.
QByteArray EditorUploadBytes(const TStoredProgramCheckInput& input);
// The last upload that reached the device stored exactly these bytes.
bool DeviceHoldsBytes(const std::optional<TTransferRecord>& lastUpload, const QByteArray& uploadBytes);

// The check on the editor's program, or why it cannot be made (for a worker
// thread: hashing and interpreting tens of MiB takes a while).
TStoredProgramCheck CheckEditorProgram(
    const TStoredProgramCheckInput& input, const QList<TStartFromIndexEntry>& entries);
// The check on what the device gave back.
TStoredProgramCheck CheckStoredProgram(
    const QByteArray& stored, bool isRaw, bool siemens, const QList<TStartFromIndexEntry>& entries);
// Reads the stored program from the device's download port and checks it.
// Blocks like every device-link operation.
TStoredProgramCheck ReadBackAndCheck(const QString& ipAddress, quint16 port, bool siemens,
    const QList<TStartFromIndexEntry>& entries, qint64 maxFileSize, const TSendProgramProgressProc& onProgress);

#pragma once
// The operations on a device's command port: a batch of configuration lines
// (the settings dialog, the command line's send verb) and the start-from
// side: the index, the lines around a point, and starting from one.
#include "Operation.h"

#include "device/UnitDeviceCommand.h"

#include <QStringList>

struct TCommandBatchRequest {
    TQuillexDevice Device;
    QStringList Commands; // PIN lines are kept masked in the history
    // The operator's text of a failure, "%1" the device's message.
    QString FailureFrame = QStringLiteral("Hata: %1");
};

// The batch in one connection (with the cached PIN): Ok with the device's
// reply ("%1 komut cihaz tarafından onaylandı") shown, or a device-link failure in the frame.
TOperationOutcome RunCommandBatch(const TCommandBatchRequest& request);

// Makes the device play its stored program from start-from point index:
// "Devam ettirme başlatıldı (CNC'den XON bekleniyor): " and the reply when it does.
TOperationOutcome RunStartFrom(const TQuillexDevice& device, qint32 index);

struct TStartFromIndexOutcome : TOperationOutcome {
    QList<TStartFromIndexEntry> Entries;
};

// The device's start-from index; Ok even when empty (the window says so with
// MsgNoStartFromIndex). No record: nothing changes on the device.
TStartFromIndexOutcome ReadStartFromIndexOf(const TQuillexDevice& device);

struct TPeekOutcome : TOperationOutcome {
    QString Previous, Line, Next;
};

// The program lines before, at and after start-from point index.
TPeekOutcome PeekStartFromPoint(const TQuillexDevice& device, qint32 index);

// The line number of the first index entry carrying the number; 0 when none does.
qint32 StartFromLineNumber(const QList<TStartFromIndexEntry>& entries, qint32 index);

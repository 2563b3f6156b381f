#pragma once
// The send of one program file dropped into a device's folder, as the window's
// upload sends it: the text normalised with its start-from index (a CMT file
// unchanged), compressed, the device's stored PIN, the stored program read back
// and compared. Blocks like every device-link operation; runs on a worker
// thread of its own, one per device.
#include "discovery/UnitStatusListener.h"
#include "history/TransferRecord.h"

#include <QString>

#include <optional>

struct TDroppedFile {
    QString Path; // where it waits while it is sent
    QString FileName; // the name it was dropped under
    QString Uid; // its history record's id, the same for every attempt
    // Found half-way at start: the device may hold it already, which its
    // stored program tells before anything is sent again.
    bool Resumed = false;
};

struct TDroppedDevice {
    TQuillexDevice Device;
    QString Status; // its latest status document
    bool IdentityShared = false; // another address announces its MacId
};

enum class EDropOutcome {
    Sent, // stored and (when asked) verified
    Failed, // will not go with another attempt: the file goes aside with the reason
    Retry, // the device could not be reached or was busy: try again later
};

struct TDropResult {
    EDropOutcome Outcome = EDropOutcome::Retry;
    QString Message; // for the operator, in Turkish
    std::optional<TTransferRecord> Record; // when the send ended for good
};

TDropResult SendDroppedFile(const TDroppedFile& file, const TDroppedDevice& target, bool verify);

#pragma once
// The device settings dialog: name, controller, serial settings, XOFF time-out,
// and the transfer PIN of one device.
#include "UiPrompter.h"
#include "device/BlockingCall.h"
#include "device/DeviceSettings.h"
#include "device/WireFormat.h"
#include "history/TransferRecord.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TFormDeviceSettings;
}

class TFormDeviceSettings : public QDialog {
    Q_OBJECT
public:
    // The command batches run through runner; the window passes one that keeps it painting.
    TFormDeviceSettings(TUiPrompter& prompter, QWidget* parent = nullptr, TBlockingCallRunner runner = {});
    ~TFormDeviceSettings() override;

    void Initialize(const QString& deviceName, const QString& controller, qint32 baudRate, qint32 xoffTimeout,
        qint32 xonXoff, qint32 dataBits, QChar parity, qint32 stopBits, const QString& ipAddress, quint16 port,
        bool pinRequired, const QString& macId);

    // Receives a history record of each command batch the dialog sends.
    void SetHistory(std::function<void(const TTransferRecord&)> record) { FRecordHistory = std::move(record); }
    bool PinRequired() const { return FPinRequired; }

    void ButtonSaveClick();
    void ButtonSetPinClick();
    void ButtonClearPinClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void UpdatePinLabels();
    TDeviceSettingsEntries Entries() const;
    // Sends the batch and records it; failureFrame ("...: %1") gives the text shown on failure.
    bool SendCommands(const QStringList& commands, QString& response, const QString& failureFrame) const;

    std::unique_ptr<Ui::TFormDeviceSettings> ui;
    TUiPrompter& FPrompter;
    TBlockingCallRunner FRunner;
    QString FIPAddress;
    quint16 FPort = CommandPort;
    bool FPinRequired = false;
    QString FPinDeviceKey;
    QString FDeviceName;
    QString FMacId;
    std::function<void(const TTransferRecord&)> FRecordHistory;
    TDeviceSettingsOriginal FOriginal;
};

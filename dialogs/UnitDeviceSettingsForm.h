#pragma once
// The device settings dialog: name, controller, serial settings, XOFF time-out,
// and the transfer PIN of one device.
#include "UiPrompter.h"
#include "device/DeviceSettings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFormDeviceSettings;
}

class TFormDeviceSettings : public QDialog {
    Q_OBJECT
public:
    TFormDeviceSettings(TUiPrompter& prompter, QWidget* parent = nullptr);
    ~TFormDeviceSettings() override;

    void Initialize(const QString& deviceName, const QString& controller, qint32 baudRate, qint32 xoffTimeout,
        qint32 xonXoff, qint32 dataBits, QChar parity, qint32 stopBits, const QString& ipAddress, quint16 port,
        bool pinRequired, const QString& macId);

    Ui::TFormDeviceSettings* Form() const { return ui.get(); }
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

    std::unique_ptr<Ui::TFormDeviceSettings> ui;
    TUiPrompter& FPrompter;
    QString FIPAddress;
    quint16 FPort = 5000;
    bool FPinRequired = false;
    QString FPinDeviceKey;
    TDeviceSettingsOriginal FOriginal;
};

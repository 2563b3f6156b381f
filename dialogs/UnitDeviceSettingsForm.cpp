#include "UnitDeviceSettingsForm.h"

#include "ui_UnitDeviceSettingsForm.h"

#include "device/DevicePin.h"
#include "device/UnitDeviceCommand.h"
#include "operations/DeviceCommandOperations.h"

#include <QKeyEvent>

TFormDeviceSettings::TFormDeviceSettings(TUiPrompter& prompter, QWidget* parent, TBlockingCallRunner runner)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormDeviceSettings>())
    , FPrompter(prompter)
    , FRunner(std::move(runner))
{
    ui->setupUi(this);
    // A fixed border: title and close button only, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(340, 368);
    QFont font = this->font();
    font.setPixelSize(12);
    setFont(font);
    FormCreate();
    connect(ui->ButtonSave, &QPushButton::clicked, this, &TFormDeviceSettings::ButtonSaveClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->ButtonSetPin, &QPushButton::clicked, this, &TFormDeviceSettings::ButtonSetPinClick);
    connect(ui->ButtonClearPin, &QPushButton::clicked, this, &TFormDeviceSettings::ButtonClearPinClick);
    ui->EditName->installEventFilter(this);
}

TFormDeviceSettings::~TFormDeviceSettings() = default;

void TFormDeviceSettings::FormCreate()
{
    ui->ComboBoxController->addItems(ControllerTypes());
    ui->ComboBoxBaud->addItems(BaudRateItems());
    ui->ComboBoxDataBits->addItems(DataBitsItems());
    ui->ComboBoxParity->addItems(ParityItems());
    ui->ComboBoxStopBits->addItems(StopBitsItems());
}

bool TFormDeviceSettings::eventFilter(QObject* watched, QEvent* event)
{
    // Typing into the name field lets through only what a device name may hold.
    // Only printable characters are filtered: Tab, Return, Escape, Delete,
    // Backspace and the Ctrl combinations keep their meaning in the dialog.
    if (watched == ui->EditName && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ControlModifier)) {
            for (QChar c : key->text())
                if (c.isPrint() && !IsDeviceNameKey(c))
                    return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormDeviceSettings::Initialize(const QString& deviceName, const QString& controller, qint32 baudRate,
    qint32 xoffTimeout, qint32 xonXoff, qint32 dataBits, QChar parity, qint32 stopBits, const QString& ipAddress,
    quint16 port, bool pinRequired, const QString& macId)
{
    FIPAddress = ipAddress;
    FPort = port;
    FPinRequired = pinRequired;
    FPinDeviceKey = PinStoreKey(macId, ipAddress);
    FDeviceName = deviceName;
    FMacId = macId;
    UpdatePinLabels();
    FOriginal = { deviceName, controller, baudRate, xoffTimeout, xonXoff, dataBits, parity, stopBits };

    ui->EditName->setText(deviceName);
    ui->ComboBoxController->setEnabled(!controller.isEmpty());
    ui->ComboBoxController->setCurrentIndex(-1);
    if (!controller.isEmpty()) {
        int found = ui->ComboBoxController->findText(controller, Qt::MatchFixedString);
        if (found < 0) {
            ui->ComboBoxController->addItem(controller);
            found = ui->ComboBoxController->count() - 1;
        }
        ui->ComboBoxController->setCurrentIndex(found);
    }
    ui->EditXoff->setText(xoffTimeout < 0 ? QString() : QString::number(xoffTimeout));
    ui->CheckBoxXonXoff->setEnabled(xonXoff >= 0);
    ui->CheckBoxXonXoff->setChecked(xonXoff != 0);
    ui->ComboBoxBaud->setCurrentIndex(ui->ComboBoxBaud->findText(QString::number(baudRate), Qt::MatchExactly));
    ui->ComboBoxDataBits->setCurrentIndex(ui->ComboBoxDataBits->findText(QString::number(dataBits), Qt::MatchExactly));
    ui->ComboBoxStopBits->setCurrentIndex(ui->ComboBoxStopBits->findText(QString::number(stopBits), Qt::MatchExactly));
    ui->ComboBoxParity->setCurrentIndex(parity.isNull() ? -1 : int(ParityLetters.indexOf(parity)));
}

void TFormDeviceSettings::UpdatePinLabels()
{
    ui->LabelPin->setText(
        FPinRequired ? QString::fromUtf8("Transfer şifresi: Açık") : QString::fromUtf8("Transfer şifresi: Kapalı"));
    ui->ButtonSetPin->setText(
        FPinRequired ? QString::fromUtf8("Şifreyi Değiştir") : QString::fromUtf8("Şifre Belirle"));
    ui->ButtonClearPin->setText(QString::fromUtf8("Şifreyi Kaldır"));
    ui->ButtonClearPin->setEnabled(FPinRequired);
}

TDeviceSettingsEntries TFormDeviceSettings::Entries() const
{
    return { ui->EditName->text(), ui->ComboBoxController->isEnabled(), ui->ComboBoxController->currentText(),
        ui->ComboBoxBaud->currentText(), ui->EditXoff->text(), ui->CheckBoxXonXoff->isEnabled(),
        ui->CheckBoxXonXoff->isChecked(), ui->ComboBoxDataBits->currentText(), ui->ComboBoxParity->currentIndex(),
        ui->ComboBoxStopBits->currentText() };
}

bool TFormDeviceSettings::SendCommands(
    const QStringList& commands, QString& response, const QString& failureFrame) const
{
    TCommandBatchRequest request;
    request.Device.DisplayName = FDeviceName;
    request.Device.IPAddress = FIPAddress;
    request.Device.Port = FPort;
    request.Device.MacId = FMacId;
    request.Commands = commands;
    request.FailureFrame = failureFrame;
    const TOperationOutcome outcome = RunBlocking(FRunner, [&] { return RunCommandBatch(request); });
    if (FRecordHistory && outcome.Record)
        FRecordHistory(*outcome.Record);
    response = outcome.Message;
    return outcome.Succeeded();
}

void TFormDeviceSettings::ButtonSaveClick()
{
    QStringList commands;
    QString error;
    if (!BuildSettingsCommands(FOriginal, Entries(), commands, error)) {
        FPrompter.ShowMessage(error);
        return;
    }
    if (commands.isEmpty()) {
        reject();
        return;
    }
    QString response;
    const QString frame = QString::fromUtf8("Ayarlar kaydedilemedi: %1");
    if (SendCommands(commands, response, frame))
        accept();
    else
        FPrompter.ShowMessage(frame.arg(response));
}

void TFormDeviceSettings::ButtonSetPinClick()
{
    QString first, second;
    if (!FPrompter.AskNewPin(QString::fromUtf8("Cihaz Şifresi"), QString::fromUtf8("Yeni şifre (4-8 rakam):"),
            QString::fromUtf8("Yeni şifre (tekrar):"), first, second))
        return;
    if (!IsValidPin(first)) {
        FPrompter.ShowMessage(QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."));
        return;
    }
    if (first != second) {
        FPrompter.ShowMessage(QString::fromUtf8("Şifreler aynı değil."));
        return;
    }
    QString response;
    const QString frame = QString::fromUtf8("Şifre ayarlanamadı: %1");
    if (!SendCommands({ "SETPIN&" + first }, response, frame)) {
        FPrompter.ShowMessage(frame.arg(response));
        return;
    }
    SetCachedPin(FIPAddress, first);
    SavePinToStore(FPinDeviceKey, first, FIPAddress);
    FPinRequired = true;
    UpdatePinLabels();
    FPrompter.ShowMessage(
        QString::fromUtf8("Şifre kaydedildi. Unutulursa yalnızca cihazın USB bağlantısından kaldırılabilir."));
}

void TFormDeviceSettings::ButtonClearPinClick()
{
    if (!FPrompter.ConfirmYesNo(
            QString::fromUtf8("Şifre kaldırılsın mı? Aynı ağdaki herkes cihaza dosya gönderip alabilecek.")))
        return;
    QString response;
    const QString frame = QString::fromUtf8("Şifre ayarlanamadı: %1");
    if (!SendCommands({ "CLEARPIN" }, response, frame)) {
        FPrompter.ShowMessage(frame.arg(response));
        return;
    }
    SetCachedPin(FIPAddress, {});
    SavePinToStore(FPinDeviceKey, {});
    FPinRequired = false;
    UpdatePinLabels();
    FPrompter.ShowMessage(QString::fromUtf8("Şifre kaldırıldı."));
}

// Pictures of the window for people to look at: run under Xvfb by
// `make screenshots` with quillex-devsim sending on the given status port.
#include "DeviceWait.h"
#include "UiPrompter.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "dialogs/UnitStartFromSelectForm.h"
#include "ui_UnitDeviceSettingsForm.h"
#include "ui_UnitStartFromSelectForm.h"
#include "ui_unitmainform.h"
#include "unitmainform.h"

#include "content/TextDocument.h"
#include "device/DevicePin.h"
#include "device/UnitDeviceCommand.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QTime>

#include <Qsci/qsciscintilla.h>

#include <cstdio>

namespace {

// Answers every question without a modal box, so the pictures keep coming.
class TAutoPrompter : public TUiPrompter {
public:
    bool AskPin(const QString&, const QString&, QString& pin) override
    {
        pin = "1234";
        return true;
    }
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool ConfirmOkCancel(const QString&) override { return true; }
    bool ConfirmYesNo(const QString&) override { return true; }
    bool AskNewPin(const QString&, const QString&, const QString&, QString&, QString&) override { return false; }
    bool AskOpenFile(const QString&, QString&) override { return false; }
    bool AskSaveFile(const QString&, const QString&, const QString&, const QString&, QString&) override
    {
        return false;
    }
};

bool SelectDevice(TFormMain& window, const QString& ip)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        window.TimerDeviceInfoTimer();
        const QList<TQuillexDevice> devices = window.StatusListener()->GetLastDeviceList();
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].IPAddress == ip) {
                window.Form()->ListBoxDevices->setCurrentRow(i);
                return true;
            }
        QTest::qWait(100);
    }
    return false;
}

void Save(QWidget* widget, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + ".png");
    if (widget->grab().save(path))
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationDisplayName("Quillex");
    if (argc < 4) {
        std::fprintf(stderr, "usage: quillex-screenshots OUTPUT-DIR STATUS-PORT PROGRAM\n");
        return 2;
    }
    const QString folder = argv[1];
    QDir().mkpath(folder);
    TAutoPrompter prompter;
    TMainFormOptions options;
    options.StatusPort = quint16(QString(argv[2]).toUInt());
    TFormMain window(prompter, options);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);

    // Three devices listed, then each one's status panel.
    QElapsedTimer timer;
    timer.start();
    auto* list = window.Form()->ListBoxDevices;
    while (list->count() < 3 && timer.elapsed() < 15000) {
        QTest::qWait(200);
        window.TimerDeviceInfoTimer();
    }
    for (int row = 0; row < list->count(); ++row) {
        list->setCurrentRow(row);
        window.TimerDeviceInfoTimer();
        Save(&window, folder, QString("device-list-%1").arg(row + 1));
    }

    // The settings dialog of the first device, as a double click opens it.
    TFormDeviceSettings dialog(prompter, &window);
    dialog.Initialize("Torna 1", "FANUC", 9600, 30, 1, 8, u'N', 1, "127.0.0.2", 5000, true, "02:51:58:00:00:02");
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
    Save(&dialog, folder, "settings-dialog");
    dialog.hide();

    // A program in the editor.
    QByteArray bytes;
    QString error;
    if (ReadWholeFile(argv[3], bytes, error)) {
        window.Form()->SynEditProgram->setText(
            JoinTextLines(ReadTextDocument(bytes).Lines, TLineBreakStyle::CrLf, true));
        QTest::qWait(300);
        Save(&window, folder, "editor-program");

        // The program's tool changes beside it, the third one clicked.
        window.SpeedButtonScanToolChangesClick();
        auto* tools = window.Form()->ListBoxToolChanges;
        if (tools->count() > 2) {
            tools->setCurrentRow(2);
            window.ListBoxToolChangesClick();
        }
        QTest::qWait(300);
        Save(&window, folder, "tool-change-panel");
    }

    // The start-from dialog over the index stored on Freze 2, the second point previewed.
    SetCachedPin("127.0.0.3", "1234");
    QList<TStartFromIndexEntry> entries;
    QString msg;
    if (ReadStartFromIndex("127.0.0.3", 5000, entries, msg) && !entries.isEmpty()) {
        TFormStartFromSelect select(WindowCallRunner());
        select.Initialize(entries, "127.0.0.3", 5000);
        select.move(window.frameGeometry().center() - select.rect().center());
        select.Form()->ListBoxEntries->setCurrentRow(qMin(1, int(entries.size()) - 1));
        select.show();
        (void)QTest::qWaitForWindowExposed(&select);
        Save(&select, folder, "start-from-dialog");
    } else {
        std::fprintf(stderr, "start-from index: %s\n", qPrintable(msg));
    }

    // An upload to the device with the PIN, while it erases its flash, then the success display.
    if (SelectDevice(window, "127.0.0.3")) {
        window.SpeedButtonUploadToMachineClick();
        QElapsedTimer erase;
        erase.start();
        while (!window.Form()->LabelTransferStatus->text().startsWith("Flash siliniyor") && erase.elapsed() < 10000)
            QTest::qWait(20);
        QTest::qWait(300);
        Save(&window, folder, "upload-erasing");
        while (window.TransferRunning() && erase.elapsed() < 60000)
            QTest::qWait(50);
        window.TimerDeviceInfoTimer();
        Save(&window, folder, "upload-success");
    }

    // A raw capture in the editor, and the CMT view.
    if (SelectDevice(window, "127.0.0.4")) {
        window.SpeedButtonDownloadFromMachineClick();
        QElapsedTimer download;
        download.start();
        while (window.TransferRunning() && download.elapsed() < 20000)
            QTest::qWait(50);
        Save(&window, folder, "raw-capture");
    }
    if (argc > 4 && ReadWholeFile(argv[4], bytes, error)) {
        window.ShowCmtFile(bytes);
        window.Form()->ListBoxToolChanges->setCurrentRow(4);
        Save(&window, folder, "cmt-view");
    }
    window.close();
    return 0;
}

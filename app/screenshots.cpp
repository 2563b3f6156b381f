// Pictures of the window for people to look at: run under Xvfb by
// `make screenshots` with quillex-devsim sending on the given status port.
#include "ApplicationSetup.h"
#include "DevicePanel.h"
#include "DeviceWait.h"
#include "FindBar.h"
#include "ToolpathPanel.h"
#include "dialogs/HistoryForm.h"
#include "dialogs/UiPrompter.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "dialogs/UnitProgramListsForm.h"
#include "dialogs/UnitStartFromSelectForm.h"
#include "discovery/DeviceListModel.h"
#include "unitmainform.h"

#include "content/EditorText.h"
#include "content/TextDocument.h"
#include "device/DevicePin.h"
#include "device/UnitDeviceCommand.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTime>
#include <QToolButton>
#include <QToolTip>

#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cstdio>

namespace {

// Whether the status panel shows a row of this label.
bool ShowsRow(const TFormMain& window, const QString& label)
{
    const TDeviceInfoRows rows = window.DevicePanel()->InfoRows();
    return std::any_of(rows.cbegin(), rows.cend(), [&](const TDeviceInfoRow& row) { return row.Label == label; });
}

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
    // No to the update's question: the pictures' program is not to replace itself.
    bool ConfirmYesNo(const QString& text) override { return !text.contains(QString::fromUtf8("güncellensin mi")); }
    bool AskNewPin(const QString&, const QString&, const QString&, QString&, QString&) override { return false; }
    bool AskOpenFile(const QString&, QString&) override { return false; }
    bool AskSaveFile(const QString&, const QString&, const QString&, const QString&, QString&) override
    {
        return false;
    }
    bool AskFolder(const QString&, QString&) override { return false; }
    bool AskInteger(const QString&, const QString&, int, int, int&) override { return false; }
};

bool SelectDevice(TFormMain& window, const QString& ip)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        window.TimerDeviceInfoTimer();
        const QList<TQuillexDevice> devices = window.StatusListener()->GetLastDeviceList();
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].IPAddress == ip) {
                window.DeviceList()->SelectRow(i);
                return true;
            }
        QTest::qWait(100);
    }
    return false;
}

// The window as the screen shows it, with its tool tip.
void SaveScreen(QWidget* window, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    const QRect frame = window->frameGeometry();
    const QPixmap picture = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = QDir(folder).filePath(name + ".png");
    if (picture.save(path))
        std::printf("%s\n", qPrintable(path));
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
    QString setupError;
    if (!SetUpApplication(app, setupError))
        std::fprintf(stderr, "%s\n", qPrintable(setupError));
    if (argc < 4) {
        std::fprintf(stderr, "usage: quillex-screenshots OUTPUT-DIR STATUS-PORT PROGRAM [CMT-FILE [BACKUP]]\n");
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
    TDeviceListModel* list = window.DeviceList();
    while (list->rowCount() < 3 && timer.elapsed() < 15000) {
        QTest::qWait(200);
        window.TimerDeviceInfoTimer();
    }
    for (int row = 0; row < list->rowCount(); ++row) {
        list->SelectRow(row);
        window.TimerDeviceInfoTimer();
        Save(&window, folder, QString("device-list-%1").arg(row + 1));
    }

    // The status log, shown by five clicks on the logo, with a few seconds of statuses.
    for (int i = 0; i < 5; ++i)
        window.ImageLogoClick();
    QTest::qWait(3000);
    Save(&window, folder, "status-log");
    for (int i = 0; i < 5; ++i)
        window.ImageLogoClick();

    // The settings dialog of the first device, as a double click opens it.
    TFormDeviceSettings dialog(prompter, &window);
    dialog.Initialize("Torna 1", "FANUC", 9600, 30, 1, 8, u'N', 1, "127.0.0.2", CommandPort, true, "02:51:58:00:00:02");
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
    Save(&dialog, folder, "settings-dialog");
    dialog.hide();

    // A program in the editor.
    QByteArray bytes;
    QString error;
    if (ReadWholeFile(argv[3], bytes, error)) {
        window.findChild<QsciScintilla*>("SynEditProgram")
            ->setText(QString::fromUtf8(ReadEditorText(bytes, false).Utf8));
        QTest::qWait(300);
        Save(&window, folder, "editor-program");

        // The program's tool changes beside it, the third one clicked.
        window.SpeedButtonScanToolChangesClick();
        auto* tools = window.findChild<QListView*>("ListBoxToolChanges");
        if (tools->model()->rowCount() > 2) {
            tools->setCurrentIndex(tools->model()->index(2, 0));
            window.ListBoxToolChangesClick();
        }
        QTest::qWait(300);
        Save(&window, folder, "tool-change-panel");

        // The toolpath beside them, the selected tool change's run highlighted,
        // then from the top with the caret's move in red; the panel is closed again.
        if (const int rows = tools->model()->rowCount(); rows > 1) // the last start-from point's run highlighted
            tools->setCurrentIndex(tools->model()->index(rows - 1, 0));
        window.SpeedButtonToolpathClick();
        TToolpathView* view = window.ToolpathPanel()->View();
        (void)QTest::qWaitFor([&] { return !view->Building(); }, 30000);
        QTest::qWait(300);
        Save(&window, folder, "toolpath-view");
        Save(window.ToolpathPanel(), folder, "toolpath-panel");
        window.ToolpathPanel()->DirectionButton(TViewDirection::Top)->click();
        window.findChild<QsciScintilla*>("SynEditProgram")
            ->setCursorPosition(
                tools->model()->rowCount() > 1 ? tools->model()->index(1, 0).data(Qt::UserRole).toInt() + 5 : 10, 0);
        QTest::qWait(300);
        Save(window.ToolpathPanel(), folder, "toolpath-top");
        window.ToolpathPanel()->DirectionButton(TViewDirection::Front)->click();
        QTest::qWait(300);
        Save(window.ToolpathPanel(), folder, "toolpath-front");
        window.SpeedButtonToolpathClick();

        // The find and replace bar under the editor, a tool change found and the matches counted.
        window.ShowFindBar(true);
        window.FindBar()->FindEdit()->setText("M0?6");
        window.FindBar()->RegexBox()->setChecked(true);
        window.FindBar()->WholeWordBox()->setChecked(true);
        window.FindBar()->ReplaceEdit()->setText("M06");
        window.findChild<QsciScintilla*>("SynEditProgram")->setCursorPosition(0, 0);
        window.FindNextClick();
        QTest::qWait(800);
        Save(&window, folder, "find-bar");
        window.FindBar()->HideBar();

        // The editor's context menu, with a selection.
        QsciScintilla* editor = window.findChild<QsciScintilla*>("SynEditProgram");
        editor->setSelection(2, 0, 2, 6);
        std::unique_ptr<QMenu> menu(window.CreateEditorContextMenu());
        menu->popup(editor->mapToGlobal(QPoint(260, 120)));
        QTest::qWait(400);
        SaveScreen(&window, folder, "context-menu");
        menu->hide();
    }

    // The start-from dialog over the index stored on Freze 2, the second point previewed.
    SetCachedPin("127.0.0.3", "1234");
    QList<TStartFromIndexEntry> entries;
    QString msg;
    if (ReadStartFromIndex("127.0.0.3", 5000, entries, msg) && !entries.isEmpty()) {
        TFormStartFromSelect select(WindowCallRunner());
        select.Initialize(entries, "127.0.0.3", 5000);
        select.move(window.frameGeometry().center() - select.rect().center());
        select.findChild<QListWidget*>("ListBoxEntries")->setCurrentRow(qMin(1, int(entries.size()) - 1));
        select.show();
        (void)QTest::qWaitForWindowExposed(&select);
        (void)QTest::qWaitFor([&] { return select.SafetyCheckDone(); }, 10000);
        Save(&select, folder, "start-from-dialog");
        // No copy of the device's program here: it is read back and checked.
        select.ButtonReadBackClick();
        (void)QTest::qWaitFor([&] { return select.SafetyCheckDone(); }, 30000);
        select.findChild<QListWidget*>("ListBoxEntries")->setCurrentRow(qMin(1, int(entries.size()) - 1));
        QTest::qWait(200);
        Save(&select, folder, "start-from-dialog-read-back");
    } else {
        std::fprintf(stderr, "start-from index: %s\n", qPrintable(msg));
    }

    // An upload to the device with the PIN, while it erases its flash, then the
    // success display with the read-back verified.
    if (SelectDevice(window, "127.0.0.3")) {
        window.SpeedButtonUploadToMachineClick();
        QElapsedTimer erase;
        erase.start();
        while (!window.findChild<QLabel*>("LabelTransferStatus")->text().startsWith("Flash siliniyor")
            && erase.elapsed() < 10000)
            QTest::qWait(20);
        QTest::qWait(300);
        Save(&window, folder, "upload-erasing");
        // The device's rows scrolled down to what it is doing.
        window.TimerDeviceInfoTimer();
        QScrollBar* rows = window.findChild<QScrollArea*>("ScrollBoxDeviceInfo")->verticalScrollBar();
        rows->setValue(rows->maximum());
        Save(&window, folder, "upload-status-rows");
        rows->setValue(0);
        while (window.TransferRunning() && erase.elapsed() < 60000)
            QTest::qWait(50);
        window.TimerDeviceInfoTimer();
        // The success display with the read-back's verdict under it, and the panel close up.
        Save(&window, folder, "upload-verified");
        Save(window.findChild<QFrame*>("PanelTransfer"), folder, "upload-verified-panel");
        // A program with tool changes, then the device plays it to the control
        // from its first one: the transfer rows, scrolled into view, under the
        // success display.
        window.SetEditorText("O1000\nT1 M6\nG0 X0 Y0\nT2 M6\nG1 X10 Y10 F200\nM30\n");
        window.SpeedButtonUploadToMachineClick();
        while (window.TransferRunning() && erase.elapsed() < 90000)
            QTest::qWait(50);
        QString response;
        if (SendDeviceCommands("127.0.0.3", 5000, { "STARTFROM0" }, response)) {
            QElapsedTimer playing;
            playing.start();
            while (!ShowsRow(window, QString::fromUtf8("Geçen Süre")) && playing.elapsed() < 3000) {
                QTest::qWait(100);
                window.TimerDeviceInfoTimer();
            }
            QScrollBar* rows = window.findChild<QScrollArea*>("ScrollBoxDeviceInfo")->verticalScrollBar();
            rows->setValue(rows->maximum());
            Save(&window, folder, "transfer-status-rows");
            rows->setValue(0);
        } else {
            std::fprintf(stderr, "STARTFROM0: %s\n", qPrintable(response));
        }
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
    // The transfer history of every device: the window's operations above and the command line's.
    window.History()->Flush();
    {
        TFormHistory history(prompter, window.History()->Path(), {}, &window);
        history.move(window.frameGeometry().center() - history.rect().center());
        history.show();
        (void)QTest::qWaitForWindowExposed(&history);
        (void)QTest::qWaitFor([&] { return !history.IsLoading(); }, 10000); // opened and read off the window's thread
        Save(&history, folder, "history-dialog");
    }
    if (argc > 4 && ReadWholeFile(argv[4], bytes, error)) {
        window.ShowCmtFile(bytes);
        window.findChild<QListView*>("ListBoxToolChanges")
            ->setCurrentIndex(window.findChild<QListView*>("ListBoxToolChanges")->model()->index(4, 0));
        Save(&window, folder, "cmt-view");
    }
    // The program list window with a real backup of several programs split.
    if (argc > 5 && ReadWholeFile(argv[5], bytes, error)) {
        TFormProgramList programs(prompter, ReadEditorText(bytes, false).Utf8, &window);
        programs.show();
        (void)QTest::qWaitForWindowExposed(&programs);
        programs.findChild<QListWidget*>("ListBox1")->setCurrentRow(1);
        Save(&programs, folder, "program-list");
        programs.close();
    }
    // The update button: the start-up check found a newer version, then a click downloads it.
    QToolButton* update = window.findChild<QToolButton*>("SpeedButtonUpdate");
    QElapsedTimer check;
    check.start();
    while (update->toolTip() != QString::fromUtf8("YENİ SÜRÜM VAR - GÜNCELLE") && check.elapsed() < 15000)
        QTest::qWait(100);
    QToolTip::showText(update->mapToGlobal(QPoint(update->width() / 2, update->height())), update->toolTip(), update);
    QTest::qWait(500);
    SaveScreen(&window, folder, "update-available");
    QToolTip::hideText();
    update->click();
    while (!update->toolTip().contains(QRegularExpression("%[1-9][0-9]$")) && check.elapsed() < 45000)
        QTest::qWait(50);
    QToolTip::showText(update->mapToGlobal(QPoint(update->width() / 2, update->height())), update->toolTip(), update);
    QTest::qWait(500);
    SaveScreen(&window, folder, "update-downloading");
    QToolTip::hideText();

    window.close();
    return 0;
}

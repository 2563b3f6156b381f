#pragma once
// The main window: tool bar, device list and status panel, the G-code editor,
// the layout kept in the settings file, and the operations other commands share.
#include "dialogs/UiPrompter.h"
#include "discovery/DeviceListModel.h"
#include "discovery/DeviceStatusView.h"
#include "discovery/StatusLog.h"
#include "discovery/UnitStatusListener.h"
#include "document/ProgramDocument.h"
#include "history/HistoryRecorder.h"
#include "history/StoredProgramCheck.h"
#include "transfer/UploadVerification.h"
#include "update/UnitAutoUpdate.h"

#include "WindowLook.h"

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

struct TUploadOutcome;
struct TDownloadOutcome;

namespace Ui {
class TFormMain;
}

class TEditorPane;
class THexDumpView;
class TFindBar;
class TToolChangePanel;
class TDevicePanel;
class TTransferPanel;
class QMenu;
class QMimeData;
class QKeyEvent;
class QToolButton;
class QSettings;
class QSplitter;
class TToolpathPanel;

struct TMainFormOptions {
    quint16 StatusPort = ::StatusPort;
    std::function<quint32()> TickSource; // the millisecond tick counter; the system's when empty
    int StartupDelayMs = 100;
    std::optional<TUpdateSettings> Update; // the running program's when empty
    QString HistoryPath; // the transfer history file; DefaultHistoryPath() when empty
};

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    TFormMain(TUiPrompter& prompter, TMainFormOptions options = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    TStatusListenerThread* StatusListener() const { return FStatusListener.get(); }
    TDeviceListModel* DeviceList() const { return FDeviceList; }

    // Operations other commands use.
    void SetTransferControlsEnabled(bool enabled);
    void StopTransferDoneTimer(bool hidePanel);
    void UpdateToolCommandsEnabled();
    bool SelectedDeviceSupportsStartFrom() const;
    bool IsSelectedDeviceSiemens() const;
    // identityShared: the status wait heard the device's MacId from another sender too.
    bool CheckDevicePin(const TQuillexDevice& device, bool identityShared = false);
    bool SelectedDevice(TQuillexDevice& device) const;

    // Device list and status panel.
    void TimerDeviceInfoTimer();
    void UpdateDeviceInfo();
    void SetDeviceInfo(const QString& message, const TDeviceInfoRows& rows);
    TDevicePanel* DevicePanel() const { return FDevicePanel; }
    QColor DeviceActivityColor(const QString& ipAddress) const;
    void ListBoxDevicesDblClick();
    void ListBoxDevicesDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;
    void ImageLogoClick();
    void SetUpdateAvailable(bool available);
    bool LogVisible() const;
    const TStatusLog& StatusLog() const { return FStatusLog; }

    // Document commands.
    void SpeedButtonFileNewClick();
    void SpeedButtonFileOpenClick();
    // Opens a file as the Open command does, without its dialog (the question
    // when the editor is not blank included); false when nothing was opened.
    bool OpenFile(const QString& fileName);
    // A file handed over by a second start (or given on the command line): it
    // waits until no modal window is open, no transfer runs and no device is
    // queried, then opens as Open would. A later one replaces a waiting one.
    void OpenHandedOverFile(const QString& fileName);
    QString WaitingHandedOverFile() const { return FHandedOverFile; }
    void SpeedButtonFileSaveClick();
    void SpeedButtonFileSaveAsClick();
    bool WriteDocumentFile(const QString& fileName);
    bool FormShortCut(int key, Qt::KeyboardModifiers modifiers);
    QString CurrentFileName() const;
    void SpeedButtonExtractProgramsClick();
    // The program list window's "Seçili Olanı Aktar": the editor's text as a whole,
    // held as unsaved edits; file name, mode and tool-change scan stay.
    void TakeProgramListText(const QString& text);

    // Upload and download.
    void SpeedButtonUploadToMachineClick();
    void SpeedButtonDownloadFromMachineClick();
    void ShowTransferSuccess(const QString& title);
    bool TransferRunning() const { return FTransferRunning; }
    TTransferPanel* TransferPanel() const { return FTransferPanel; }

    // The program document and the views drawn from it.
    TProgramDocument& Document() { return *FDocument; }
    // The views drawn from the document; they follow its announcements by
    // themselves, so a call after a change draws nothing new.
    void RedrawDocument();
    QStringList EditorLines() const; // in the raw-capture and CMT modes, the hex dump's
    QString EditorText() const;
    void SetEditorText(const QString& text); // set as a whole, as an edit of the operator
    void ShowRawCapture(const QByteArray& data);
    void ResetEditorContent();
    void ShowCmtFile(const QByteArray& data);
    void SaveSelectedCmtProgram();
    void ScanToolChanges();
    QList<TStartFromCandidate> ToolChangeCandidates() const;
    bool InCmtView() const { return FDocument->Mode() == TDocumentMode::Cmt; }
    TToolChangePanel* ToolChangePanel() const { return FToolChangePanel; }

    // Editor commands: find and replace, go to line, renumbering, recent
    // files, files dropped on the window.
    TEditorPane* EditorPane() const { return FEditorPane; }
    TFindBar* FindBar() const;
    THexDumpView* HexView() const;
    void ShowFindBar(bool replace);
    void FindNextClick();
    void FindPreviousClick();
    void GoToLineClick();
    void RenumberClick();
    // The editor's context menu, built for the moment it opens (the caller owns it).
    QMenu* CreateEditorContextMenu();
    QMenu* RecentFilesMenu() const { return FRecentMenu; }
    // Opens a file of the recent list by the Open command's rules; a missing
    // file leaves the list with a message.
    bool OpenRecentFile(const QString& fileName);
    // The first local file among dropped data, opened as the Open command does.
    bool OpenDroppedFiles(const QMimeData* data);

    // Tool-change panel and start-from commands.
    void SpeedButtonScanToolChangesClick();
    void SpeedButtonStartFromMiddleClick();
    void ListBoxToolChangesClick();
    void ListBoxToolChangesDblClick();

    // Transfer history: the dialog for one device (a MacId or address) or all
    // (empty), and the device list's context menu that opens it.
    void ShowHistory(const QString& device);
    QMenu* CreateDeviceMenu(int row, QWidget* parent);
    THistoryRecorder* History() const { return FHistory.get(); }
    // "Son gönderilen: ..." for the device, from the history; empty when nothing was sent to it.
    QString LastSentText(const TQuillexDevice& device) const;
    // The toolpath panel beside the editor, shown and hidden by its tool-bar button.
    TToolpathPanel* ToolpathPanel() const { return FToolpathPanel; }
    QToolButton* ToolpathButton() const { return FToolpathButton; }
    void SpeedButtonToolpathClick();
    // Highlights the run of the start-from point at the tool change of the line (0: none).
    void ShowStartFromRun(qint32 toolChangeLine);
    // What the start-from dialog's safety check needs: the editor's program,
    // the device's controller and limit, and the last upload that reached it.
    TStoredProgramCheckInput StoredProgramCheckInput(const TQuillexDevice& device) const;
    // Why the shared history waits, for the status panel; empty when it does not.
    QString SharedHistoryNote() const { return FSharedHistoryNote; }

    static QString LoadWindowTitle();
    void EnsureWindowOnScreen();
    void FitFrameInto(const QRect& area);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void StartupTimerTimer();
    void RestoreLayout();
    void SaveLayout();
    void SetUpToolBar();
    void SetUpEditor();
    void SetUpEditorCommands();
    void FillRecentFilesMenu();
    void RememberRecentFile(const QString& fileName);
    void SetUpFonts();
    void PaintBoxDeviceInfoPaint(QPainter& painter);
    void SpeedButtonUpdateClick();
    void UpdateDownloadDone(bool ok, const QString& resultText);
    TUpdateSettings UpdateSettings() const;
    quint32 Ticks() const;
    bool ConfirmLosingContent();
    QString RememberedFolder(const QString& key) const;
    void RememberFolder(const QString& key, const QString& fileName);
    // An operation's end: its record kept, its outcome shown.
    void UploadComplete(const TUploadOutcome& outcome);
    void DownloadComplete(const TQuillexDevice& device, const TDownloadOutcome& outcome);
    // The success display with the read-back's line under it, in green.
    void ShowUploadVerified(const TUploadVerification& verification);
    // The log shows the lines it has not shown yet; called while it is visible,
    // at most ten times a second.
    void ShowNewStatusLogLines();
    void StartProgress(const QString& title);
    void ShowToolChangePanel();
    // The selected device, once its PIN is settled; "Önce bir cihaz seçin." when there is none.
    bool SelectedDeviceWithPin(TQuillexDevice& device);
    void SendStartFrom(const TQuillexDevice& device, qint32 index);
    void SetUpHistory();
    // Queues an operation's finished record; an upload that reached a device is its last one sent.
    void RecordOperation(const TTransferRecord& record);
    // False once the window was destroyed, closed, or asked to close while it
    // waited for a device: the operation then ends without a word, and the
    // close is carried out once the window is free.
    static bool StillOpen(const QPointer<TFormMain>& window)
    {
        return window && !window->FDestroyed && !window->FCloseRequested;
    }

    std::unique_ptr<Ui::TFormMain> ui;
    TUiPrompter& FPrompter;
    TMainFormOptions FOptions;
    TStatusLog FStatusLog; // outlives the listener that writes to it
    quint64 FStatusLogShown = 0; // lines of FStatusLog the log widget has taken
    QTimer* FStatusLogTimer = nullptr;
    std::unique_ptr<TStatusListenerThread> FStatusListener;
    QPointer<QTimer> FStartupTimer;
    QTimer* FTimerDeviceInfo = nullptr;
    qint32 FLogoClickCount = 0;
    quint32 FLogoLastClickTicks = 0;
    bool FTransferRunning = false;
    TDeviceListModel* FDeviceList = nullptr;
    QHash<QString, QPixmap> FDeviceImages;
    QList<QIcon> FUpdateImages;
    QList<QIcon> FToolbarImages;
    int FToolChangesPanelWidth = ToolChangesPanelWidth;
    bool FDestroyed = false;
    // What waits for the window to be free: a handed-over file, a close asked
    // for while a device was queried. Tried at every tick of the timer.
    QString FHandedOverFile;
    bool FCloseRequested = false;
    QTimer* FWaitingActionsTimer = nullptr;
    bool FreeForWaitingActions(bool forOpening) const;
    void RunWaitingActions();
    void StartWaitingActions();
    std::unique_ptr<TProgramDocument> FDocument;
    TDocumentMode FShownMode = TDocumentMode::Text;
    bool FDocumentDrawn = true; // the views show the document's last announced state
    QString FToolPanelCaption;
    QString FToolPanelHint;
    void ShowCmtPanel(bool entering);
    void LeaveCmtPanel();
    bool ConfirmLosingEdits();
    bool OpenDocumentFile(const QString& fileName);
    TEditorPane* FEditorPane = nullptr;
    TToolChangePanel* FToolChangePanel = nullptr;
    TDevicePanel* FDevicePanel = nullptr;
    TTransferPanel* FTransferPanel = nullptr;
    QMenu* FRecentMenu = nullptr;
    QString FListFontFamily;
    QRect FFitFrameArea; // where the frame goes once the window manager has told its size
    std::unique_ptr<THistoryRecorder> FHistory;
    static QString LastSentKey(const QString& macId, const QString& ipAddress);
    QHash<QString, TTransferRecord> FLastSent; // by MacId in upper case, or address
    QString FSharedHistoryNote;
    // The toolpath panel (MainFormToolpath.cpp).
    void SetUpToolpathPanel();
    void RestoreToolpathLayout(QSettings& settings);
    void SaveToolpathLayout(QSettings& settings) const;
    void ShowToolpathPanel(bool visible);
    // Hands the document to the view (while it shows); fit for a new program.
    void ToolpathDocumentChanged(bool fit = true);
    TToolpathPanel* FToolpathPanel = nullptr;
    QToolButton* FToolpathButton = nullptr;
    QSplitter* FSplitterToolpath = nullptr;
    QTimer* FToolpathEditTimer = nullptr;
    QByteArray FToolpathText; // the text the view was last given
    bool FToolpathStale = true;
    bool FToolpathForSiemens = false; // the view was last made for a SIEMENS device's program
    int FToolpathPanelWidth = 360;
};

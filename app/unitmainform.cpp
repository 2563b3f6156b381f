#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "DevicePanel.h"
#include "ToolChangePanel.h"
#include "TransferPanel.h"
#include "WindowLook.h"

#include "DeviceWait.h"
#include "EditorPane.h"
#include "EditorTextStore.h"
#include "HexDumpView.h"
#include "config/Settings.h"
#include "device/JsonText.h"
#include "device/Ticks.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "discovery/DeviceListModel.h"
#include "operations/PinCheck.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTextBlock>
#include <QWindow>

#include <Qsci/qsciscintilla.h>

namespace {

const QString MainSection = QStringLiteral("MainForm");

// The window title, kept as AES-256-CBC ciphertext with its own key and vector.
const char* const TitleKeyHex = "f515a4fbdb230b7a10a6bc906be1d5e676086484c0380de0b9f8c6d36843759f";
const char* const TitleIvHex = "59379dee9ba15d73cd5d6084ae561b33";
const char* const TitleCipherHex = "70db5768a816e5c00aa4a41991a8b91393a9f13903695a80fd2e822e6c73fc24"
                                   "10325c12e77df03c7d9440570c0637cb";

QString FirstFamily(const QStringList& families)
{
    for (const QString& family : families)
        if (QFontDatabase::hasFamily(family))
            return family;
    return families.last();
}

// QScintilla sizes its fonts in points: the pixel sizes at 96 dots per inch.
QFont EditorFont(const QString& family, int pixels)
{
    QFont font(family);
    font.setPointSizeF(pixels * 72.0 / 96.0);
    return font;
}

QString SansFamily()
{
    return FirstFamily({ "Segoe UI", "Noto Sans", "DejaVu Sans" });
}
QString MonoFamily()
{
    return FirstFamily({ "Consolas", "DejaVu Sans Mono", "Noto Sans Mono", "Monospace" });
}

QFont PixelFont(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

static void InitResources()
{
    Q_INIT_RESOURCE(quillex);
}

TFormMain::TFormMain(TUiPrompter& prompter, TMainFormOptions options, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TFormMain>())
    , FPrompter(prompter)
    , FOptions(std::move(options))
{
    InitResources();
    ui->setupUi(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

quint32 TFormMain::Ticks() const
{
    return FOptions.TickSource ? FOptions.TickSource() : GetTickCount32();
}

QString TFormMain::LoadWindowTitle()
{
    const QByteArray plain = DecryptAes256Cbc(
        QByteArray::fromHex(TitleKeyHex), QByteArray::fromHex(TitleIvHex), QByteArray::fromHex(TitleCipherHex));
    QString title = QString::fromLatin1(plain);
    while (!title.isEmpty() && title.back().unicode() <= 32)
        title.chop(1);
    return title;
}

void TFormMain::SetUpFonts()
{
    const QString sans = SansFamily();
    FListFontFamily = sans;
    setFont(PixelFont(sans, 12));
    ui->ListBoxDevices->setFont(PixelFont(sans, 15));
    ui->PaintBoxDeviceInfo->setFont(PixelFont(sans, 14));
    ui->LabelTransferTitle->setFont(PixelFont(sans, 14, true));
    ui->LabelTransferStatus->setFont(PixelFont(sans, 14));
    ui->LabelTransferVerify->setFont(PixelFont(sans, 12));
    ui->ListBoxToolChanges->setFont(PixelFont(MonoFamily(), 13));
    ui->LabelToolChanges->setFont(PixelFont(sans, 12, true));
}

void TFormMain::SetUpEditor()
{
    QsciScintilla* editor = ui->SynEditProgram;
    FDocument = std::make_unique<TProgramDocument>(*new TEditorTextStore(editor));
    FEditorPane = new TEditorPane(editor, ui->SplitterToolChanges, ui->LayoutEditor, *FDocument, FPrompter, this);
    FEditorPane->SetFonts(EditorFont(MonoFamily(), 19), EditorFont(MonoFamily(), 15), PixelFont(MonoFamily(), 14));
    FEditorPane->HexView()->installEventFilter(this);

    FToolChangePanel = new TToolChangePanel(ui->LabelToolChanges, ui->ListBoxToolChanges, this);
    connect(FDocument.get(), &TProgramDocument::Changed, this, [this] {
        FDocumentDrawn = false;
        RedrawDocument();
    });
}

void TFormMain::SetUpToolBar()
{
    auto load = [this](const QString& name, const QString& resource) {
        FDeviceImages.insert(name, QPixmap(":/" + resource + ".png"));
    };
    load("update", "UPDATE_IMAGE");
    load("update_available", "UPDATE_AVAILABLE_IMAGE");
    FUpdateImages = { QIcon(FDeviceImages["update"].scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)),
        QIcon(FDeviceImages["update_available"].scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)) };
    ui->SpeedButtonUpdate->setIcon(FUpdateImages[0]);

    const std::pair<QToolButton*, const char*> buttons[] = {
        { ui->SpeedButtonFileNew, "TOOLBAR_FILE_NEW" },
        { ui->SpeedButtonFileOpen, "TOOLBAR_FILE_OPEN" },
        { ui->SpeedButtonFileSave, "TOOLBAR_FILE_SAVE" },
        { ui->SpeedButtonFileSaveAs, "TOOLBAR_FILE_SAVE_AS" },
        { ui->SpeedButtonDownloadFromMachine, "TOOLBAR_DOWNLOAD" },
        { ui->SpeedButtonUploadToMachine, "TOOLBAR_UPLOAD" },
        { ui->SpeedButtonExtractPrograms, "TOOLBAR_EXTRACT_PROGRAMS" },
        { ui->SpeedButtonScanToolChanges, "TOOLBAR_SCAN_TOOL_CHANGES" },
        { ui->SpeedButtonStartFromMiddle, "TOOLBAR_START_FROM_MIDDLE" },
    };
    for (const auto& [button, resource] : buttons) {
        load(resource, resource);
        FToolbarImages.append(
            QIcon(FDeviceImages[resource].scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        button->setIcon(FToolbarImages.last());
    }
    ui->ImageLogo->setPixmap(
        QPixmap(":/LOGO_IMAGE.png").scaled(113, 80, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TFormMain::FormCreate()
{
    setWindowTitle(LoadWindowTitle());
    ui->SpeedButtonUpdate->setToolTip(QString::fromUtf8("YENİ SÜRÜM KONTROL ET VE GÜNCELLE"));
    SetPinStoreFileName(SettingsFilePath());
    ui->Memo1->hide();
    // The widget holds what the bounded log holds, whatever lines it was given.
    ui->Memo1->SetMaximumLines(StatusLogMaxLines);
    // The log is drawn in batches, only while it shows: a datagram costs the
    // window nothing.
    FStatusLogTimer = new QTimer(this);
    FStatusLogTimer->setTimerType(Qt::PreciseTimer); // never early: at most ten batches a second
    FStatusLogTimer->setInterval(100);
    connect(FStatusLogTimer, &QTimer::timeout, this, &TFormMain::ShowNewStatusLogLines);
    ui->Memo1->installEventFilter(this);
    SetUpFonts();
    FTransferPanel = new TTransferPanel(ui->PanelTransfer, ui->LabelTransferTitle, ui->LabelTransferStatus,
        ui->ProgressBarTransfer, ui->LabelTransferVerify, FOptions.TickSource, this);
    SetUpToolBar();
    UpdateToolCommandsEnabled();
    FLogoClickCount = 0;
    ui->ImageLogo->installEventFilter(this);
    SetUpEditor();
    SetUpHistory();
    SetUpEditorCommands();

    FDeviceList = new TDeviceListModel(
        [this](const QString& ipAddress) {
            return FStatusListener ? FStatusListener->GetStatusFor(ipAddress) : QString();
        },
        this);
    // What is on each machine, from the transfer history.
    FDeviceList->SetToolTipOf([this](const TQuillexDevice& device) { return LastSentText(device); });
    FDevicePanel = new TDevicePanel(ui->ListBoxDevices, ui->PaintBoxDeviceInfo, FDeviceList, this);
    UpdateDeviceInfo(); // "Bir cihaz seçin." and what the history said meanwhile
    connect(FDeviceList->Selection(), &QItemSelectionModel::selectionChanged, this, &TFormMain::UpdateDeviceInfo);
    connect(ui->ListBoxDevices, &QListView::doubleClicked, this, [this] { ListBoxDevicesDblClick(); });
    ui->PaintBoxDeviceInfo->OnPaint = [this](QPainter& painter) { PaintBoxDeviceInfoPaint(painter); };
    ui->PanelDeviceInfo->setBackgroundRole(QPalette::Base);
    connect(ui->SpeedButtonUpdate, &QToolButton::clicked, this, &TFormMain::SpeedButtonUpdateClick);
    connect(ui->SpeedButtonFileNew, &QToolButton::clicked, this, &TFormMain::SpeedButtonFileNewClick);
    connect(ui->SpeedButtonFileOpen, &QToolButton::clicked, this, &TFormMain::SpeedButtonFileOpenClick);
    connect(ui->SpeedButtonFileSave, &QToolButton::clicked, this, &TFormMain::SpeedButtonFileSaveClick);
    connect(ui->SpeedButtonFileSaveAs, &QToolButton::clicked, this, &TFormMain::SpeedButtonFileSaveAsClick);
    connect(ui->SpeedButtonUploadToMachine, &QToolButton::clicked, this, &TFormMain::SpeedButtonUploadToMachineClick);
    connect(ui->SpeedButtonDownloadFromMachine, &QToolButton::clicked, this,
        &TFormMain::SpeedButtonDownloadFromMachineClick);
    connect(ui->SpeedButtonScanToolChanges, &QToolButton::clicked, this, &TFormMain::SpeedButtonScanToolChangesClick);
    connect(ui->SpeedButtonStartFromMiddle, &QToolButton::clicked, this, &TFormMain::SpeedButtonStartFromMiddleClick);
    connect(ui->SpeedButtonExtractPrograms, &QToolButton::clicked, this, &TFormMain::SpeedButtonExtractProgramsClick);
    connect(FToolChangePanel, &TToolChangePanel::RowClicked, this, [this] { ListBoxToolChangesClick(); });
    connect(FToolChangePanel, &TToolChangePanel::RowDoubleClicked, this, [this] { ListBoxToolChangesDblClick(); });
    ui->SynEditProgram->installEventFilter(this);
    installEventFilter(this);

    // The side panels keep their sizes when the window is resized; the editor and the list take the rest.
    ui->SplitterDevices->setStretchFactor(0, 0);
    ui->SplitterDevices->setStretchFactor(1, 1);
    ui->SplitterDeviceInfo->setStretchFactor(0, 1);
    ui->SplitterDeviceInfo->setStretchFactor(1, 0);
    ui->SplitterToolChanges->setStretchFactor(1, 1); // the editor (the hex view is 0)
    ui->SplitterToolChanges->setStretchFactor(2, 0); // the tool-change panel
    SetUpToolpathPanel();
    resize(WindowWidth, WindowHeight);
    ui->SplitterDevices->setSizes({ DevicesPanelWidth, WindowWidth - DevicesPanelWidth });
    ui->SplitterDeviceInfo->setSizes({ WindowHeight - ToolBarHeight - DeviceInfoPanelHeight, DeviceInfoPanelHeight });
    const int editorWidth = WindowWidth - DevicesPanelWidth - ToolChangesPanelWidth;
    ui->SplitterToolChanges->setSizes({ editorWidth, editorWidth, ToolChangesPanelWidth });
    RestoreLayout();

    FTimerDeviceInfo = new QTimer(this);
    FTimerDeviceInfo->setInterval(2000);
    connect(FTimerDeviceInfo, &QTimer::timeout, this, &TFormMain::TimerDeviceInfoTimer);
    FTimerDeviceInfo->start();

    FStartupTimer = new QTimer(this);
    FStartupTimer->setSingleShot(true);
    FStartupTimer->setInterval(FOptions.StartupDelayMs);
    connect(FStartupTimer, &QTimer::timeout, this, &TFormMain::StartupTimerTimer);
    FStartupTimer->start();
}

void TFormMain::RestoreLayout()
{
    QSettings settings = OpenSettingsFile();
    settings.beginGroup(MainSection);
    auto readInt = [&](const QString& key, int current) {
        bool ok = false;
        const int value = settings.value(key).toInt(&ok);
        return ok ? value : current;
    };
    if (settings.contains("Left")) {
        QRect r = geometry();
        r.moveLeft(readInt("Left", r.x()));
        r.moveTop(readInt("Top", r.y()));
        r.setWidth(readInt("Width", r.width()));
        r.setHeight(readInt("Height", r.height()));
        setGeometry(r);
        EnsureWindowOnScreen();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = geometry();
        r.moveCenter(screen->availableGeometry().center());
        setGeometry(r);
    }
    if (readInt("Maximized", 0) != 0)
        setWindowState(windowState() | Qt::WindowMaximized);

    // Applied as read, without bounds.
    const int devices = readInt("DevicesPanelWidth", DevicesPanelWidth);
    const int info = readInt("DeviceInfoMemoHeight", DeviceInfoPanelHeight);
    FToolChangesPanelWidth = readInt("ToolChangesPanelWidth", FToolChangesPanelWidth);
    ui->PanelDevices->resize(devices, ui->PanelDevices->height());
    ui->SplitterDevices->setSizes({ devices, qMax(1, width() - devices) });
    ui->SplitterDeviceInfo->setSizes({ qMax(1, height() - ToolBarHeight - info), info });
    const int editorWidth = qMax(1, width() - devices - FToolChangesPanelWidth);
    ui->SplitterToolChanges->setSizes({ editorWidth, editorWidth, FToolChangesPanelWidth });
    RestoreToolpathLayout(settings);
}

void TFormMain::EnsureWindowOnScreen()
{
    // The window's rectangle is its frame, title bar included: fitted by its
    // client area alone, the title bar would end up off the screen and the
    // window could not be moved.
    const QRect window = frameGeometry();
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        const QRect overlap = window.intersected(screen->availableGeometry());
        if (overlap.width() >= 100 && overlap.height() >= 50)
            return;
    }
    if (screens.isEmpty())
        return;
    // The monitor nearest to the window.
    QScreen* nearest = screens.first();
    qint64 best = -1;
    for (QScreen* screen : screens) {
        const QRect area = screen->availableGeometry();
        const qint64 dx = qMax(0, qMax(area.left() - window.right(), window.left() - area.right()));
        const qint64 dy = qMax(0, qMax(area.top() - window.bottom(), window.top() - area.bottom()));
        if (best < 0 || dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = screen;
        }
    }
    // Before the window is shown the window manager has not told its frame
    // yet: fitted again once it has.
    FFitFrameArea = window == geometry() ? nearest->availableGeometry() : QRect();
    FitFrameInto(nearest->availableGeometry());
}

void TFormMain::FitFrameInto(const QRect& area)
{
    const QRect window = frameGeometry();
    const int frameWidth = window.width() - width(), frameHeight = window.height() - height();
    resize(qMin(window.width(), area.width()) - frameWidth, qMin(window.height(), area.height()) - frameHeight);
    // Centred; a window that cannot shrink below its minimum size keeps its
    // top left corner, and so its title bar, on the screen.
    const QSize frame = size() + QSize(frameWidth, frameHeight);
    move(qMax(area.left(), area.left() + (area.width() - frame.width()) / 2),
        qMax(area.top(), area.top() + (area.height() - frame.height()) / 2)); // places the frame
}

void TFormMain::SaveLayout()
{
    QSettings settings = OpenSettingsFile();
    settings.beginGroup(MainSection);
    const Qt::WindowStates state = windowState();
    settings.setValue("Maximized", (state & Qt::WindowMaximized) ? 1 : 0);
    if (!(state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
        const QRect r = geometry();
        settings.setValue("Left", r.x());
        settings.setValue("Top", r.y());
        settings.setValue("Width", r.width());
        settings.setValue("Height", r.height());
    }
    settings.setValue("ToolChangesPanelWidth",
        ui->PanelToolChanges->isVisible() ? ui->PanelToolChanges->width() : FToolChangesPanelWidth);
    settings.setValue("DevicesPanelWidth", ui->PanelDevices->width());
    settings.setValue("DeviceInfoMemoHeight", ui->PanelDeviceInfo->height());
    SaveToolpathLayout(settings);
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    // Asked for while a device answers: carried out once the query and its
    // messages are over, rather than lost at the message box after it.
    if (!FDestroyed && DeviceWaitRunning()) {
        FCloseRequested = true;
        StartWaitingActions();
        event->ignore();
        return;
    }
    if (!FDestroyed && !ConfirmLosingEdits()) {
        event->ignore();
        return;
    }
    FormDestroy();
    event->accept();
}

void TFormMain::OpenHandedOverFile(const QString& fileName)
{
    FHandedOverFile = fileName;
    StartWaitingActions();
}

bool TFormMain::FreeForWaitingActions(bool forOpening) const
{
    if (QApplication::activeModalWidget() || DeviceWaitRunning())
        return false;
    return !forOpening || (!FTransferRunning && ui->SpeedButtonFileOpen->isEnabled());
}

void TFormMain::StartWaitingActions()
{
    if (!FWaitingActionsTimer) {
        FWaitingActionsTimer = new QTimer(this);
        FWaitingActionsTimer->setInterval(100);
        connect(FWaitingActionsTimer, &QTimer::timeout, this, &TFormMain::RunWaitingActions);
    }
    FWaitingActionsTimer->start();
    RunWaitingActions();
}

void TFormMain::RunWaitingActions()
{
    if (FDestroyed) {
        FWaitingActionsTimer->stop();
        return;
    }
    if (FCloseRequested && FreeForWaitingActions(false)) {
        FCloseRequested = false;
        FWaitingActionsTimer->stop();
        close(); // its question about unsaved edits included
        if (FDestroyed)
            return;
    }
    if (!FHandedOverFile.isEmpty() && FreeForWaitingActions(true)) {
        const QString fileName = std::exchange(FHandedOverFile, QString());
        OpenFile(fileName);
    }
    if (!FCloseRequested && FHandedOverFile.isEmpty())
        FWaitingActionsTimer->stop();
}

void TFormMain::FormDestroy()
{
    if (FDestroyed)
        return;
    FDestroyed = true;
    SaveLayout();
    FStatusListener.reset();
}

void TFormMain::StartupTimerTimer()
{
    if (FStartupTimer)
        FStartupTimer->deleteLater();
    FStartupTimer = nullptr;
    FStatusListener = std::make_unique<TStatusListenerThread>(&FStatusLog, FOptions.StatusPort, FOptions.TickSource);
    connect(FStatusListener.get(), &TStatusListenerThread::ListenFailed, this, &TFormMain::UpdateDeviceInfo,
        Qt::QueuedConnection);
    if (!FStatusListener->ListenError().isEmpty()) // failed before the connection was made
        UpdateDeviceInfo();
    // Quiet: only a newer version changes the button.
    CheckForNewVersionInBackground(
        this,
        [this](bool available) {
            if (available)
                SetUpdateAvailable(true);
        },
        UpdateSettings());
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && !FFitFrameArea.isNull() && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && frameGeometry() != geometry()) {
        const QRect area = FFitFrameArea;
        FFitFrameArea = QRect();
        if (!area.contains(frameGeometry()) && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            FitFrameInto(area);
    }
    if (watched == ui->Memo1 && event->type() == QEvent::Show) {
        ShowNewStatusLogLines();
        FStatusLogTimer->start(); // the next batch a full interval later
    } else if (watched == ui->Memo1 && event->type() == QEvent::Hide) {
        FStatusLogTimer->stop();
    }
    // In a quick series every second press arrives as a double click: count both.
    if (watched == ui->ImageLogo
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick))
        ImageLogoClick();
    // Filters are in place before the pane is made (the status log's).
    if (FEditorPane && FEditorPane->DropEvent(event))
        return true;
    // The window's shortcuts come before the focused control's own keys.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_H && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                ShowHistory({}); // every device's
            return true;
        }
        if (FEditorPane && FEditorPane->CommandKey(*key, event->type() == QEvent::KeyPress)) {
            event->accept();
            return true;
        }
        const bool ours = (key->modifiers() & Qt::ControlModifier) && !(key->modifiers() & Qt::ShiftModifier)
            && (key->key() == Qt::Key_N || key->key() == Qt::Key_O || key->key() == Qt::Key_S)
            && !((key->modifiers() & Qt::AltModifier) && key->key() != Qt::Key_S);
        if (ours) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            return FormShortCut(key->key(), key->modifiers());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::ImageLogoClick()
{
    const quint32 now = Ticks();
    if (FLogoClickCount > 0 && TicksSince(FLogoLastClickTicks, now) > 2000)
        FLogoClickCount = 0;
    ++FLogoClickCount;
    FLogoLastClickTicks = now;
    if (FLogoClickCount == 5) {
        FLogoClickCount = 0;
        ui->Memo1->setVisible(!ui->Memo1->isVisible());
    }
}

bool TFormMain::LogVisible() const
{
    return !ui->Memo1->isHidden();
}

void TFormMain::ShowNewStatusLogLines()
{
    // A minimised window shows nothing: its log catches up when it comes back.
    if (!ui->Memo1->isVisible() || isMinimized())
        return;
    if (FStatusLog.Appended() == FStatusLogShown)
        return;
    const TStatusLog::TNewLines update = FStatusLog.Since(FStatusLogShown);
    FStatusLogShown = update.Shown;
    // One repaint for the batch; the view keeps the latest lines, a line
    // holding line feeds counting as the lines it shows.
    if (update.Restart)
        ui->Memo1->Clear();
    if (!update.Lines.isEmpty())
        ui->Memo1->AppendLines(update.Lines);
}

void TFormMain::SetUpdateAvailable(bool available)
{
    ui->SpeedButtonUpdate->setEnabled(true);
    ui->SpeedButtonUpdate->setIcon(FUpdateImages.value(available ? 1 : 0));
    ui->SpeedButtonUpdate->setToolTip(available ? QString::fromUtf8("YENİ SÜRÜM VAR - GÜNCELLE")
                                                : QString::fromUtf8("YENİ SÜRÜM KONTROL ET VE GÜNCELLE"));
}

TUpdateSettings TFormMain::UpdateSettings() const
{
    return FOptions.Update ? *FOptions.Update : DefaultUpdateSettings();
}

void TFormMain::SpeedButtonUpdateClick()
{
    ui->SpeedButtonUpdate->setEnabled(false);
    ui->SpeedButtonUpdate->setToolTip(QString::fromUtf8("GÜNCELLEME KONTROL EDİLİYOR"));
    // Delivered to this window only while it exists; the worker ends by itself.
    DownloadUpdateInBackground(
        this,
        [this](qint32 percent) {
            ui->SpeedButtonUpdate->setToolTip(QString::asprintf("GÜNCELLEME İNDİRİLİYOR %%%d", percent));
        },
        [this](bool ok, const QString& resultText) { UpdateDownloadDone(ok, resultText); }, UpdateSettings());
}

void TFormMain::UpdateDownloadDone(bool ok, const QString& resultText)
{
    if (!ok) {
        SetUpdateAvailable(false);
        FPrompter.ShowMessage(resultText);
        return;
    }
    SetUpdateAvailable(true);
    if (!FPrompter.ConfirmYesNo(
            QString::fromUtf8("%1 sürümü indirildi. Uygulama kapanıp güncellensin mi?").arg(resultText)))
        return;
    // A script that could not be started replaces nothing: the window stays and says why.
    QString error;
    if (!LaunchUpdaterScript(UpdateSettings(), nullptr, &error)) {
        FPrompter.ShowMessage(UpdateLaunchFailedText(error));
        return;
    }
    close();
}

void TFormMain::SetTransferControlsEnabled(bool enabled)
{
    if (!enabled)
        StopTransferDoneTimer(false);
    ui->SpeedButtonUploadToMachine->setEnabled(enabled);
    ui->SpeedButtonDownloadFromMachine->setEnabled(enabled);
    ui->SpeedButtonFileOpen->setEnabled(enabled);
    ui->SpeedButtonFileNew->setEnabled(enabled);
    FTransferRunning = !enabled;
    UpdateToolCommandsEnabled();
}

void TFormMain::StopTransferDoneTimer(bool hidePanel)
{
    FTransferPanel->StopTransferDoneTimer(hidePanel);
}

void TFormMain::UpdateToolCommandsEnabled()
{
    const bool capable = SelectedDeviceSupportsStartFrom();
    ui->SpeedButtonScanToolChanges->setEnabled(capable);
    ui->SpeedButtonStartFromMiddle->setEnabled(capable && !FTransferRunning);
}

bool TFormMain::SelectedDevice(TQuillexDevice& device) const
{
    return FStatusListener && FDeviceList->SelectedDevice(device);
}

bool TFormMain::SelectedDeviceSupportsStartFrom() const
{
    TQuillexDevice device;
    return SelectedDevice(device) && StatusKeepsStartFromIndex(FStatusListener->GetStatusFor(device.IPAddress));
}

bool TFormMain::IsSelectedDeviceSiemens() const
{
    TQuillexDevice device;
    return SelectedDevice(device) && IsControllerSiemens(device.Controller);
}

bool TFormMain::CheckDevicePin(const TQuillexDevice& device, bool identityShared)
{
    TPinCheck check
        = PinCheckFor(device, FStatusListener ? FStatusListener->GetLastDeviceList() : QList<TQuillexDevice>());
    check.IdentityShared = check.IdentityShared || identityShared;
    const QPointer<TFormMain> alive(this);
    const bool ok = RunPinCheck(check, FPrompter, WindowCallRunner()).Succeeded();
    return ok && StillOpen(alive); // a window closed meanwhile sends nothing more
}

void TFormMain::TimerDeviceInfoTimer()
{
    // While a transfer runs, the list keeps its rows and order.
    if (FStatusListener && !FTransferRunning)
        FDeviceList->SetDevices(FStatusListener->RefreshDeviceList());
    UpdateDeviceInfo();
    FDeviceList->StatusChanged(); // the dots follow the status even while the rows stay
}

void TFormMain::UpdateDeviceInfo()
{
    UpdateToolCommandsEnabled();
    if (!FDevicePanel) // the history may answer before the panel is made
        return;
    TQuillexDevice device;
    const bool selected = SelectedDevice(device);
    QStringList notes;
    for (const QString& note : { selected ? LastSentText(device) : QString(), FSharedHistoryNote })
        if (!note.isEmpty())
            notes << note;
    // A status port that cannot be bound is why no device appears.
    FDevicePanel->ShowDevice(selected ? &device : nullptr,
        selected ? FStatusListener->GetStatusFor(device.IPAddress) : QString(),
        FStatusListener ? FStatusListener->ListenError() : QString(), notes);
}

void TFormMain::SetDeviceInfo(const QString& message, const TDeviceInfoRows& rows)
{
    if (FDevicePanel) // the history may answer before the panel is made
        FDevicePanel->SetInfo(message, rows);
}

void TFormMain::PaintBoxDeviceInfoPaint(QPainter& painter)
{
    FDevicePanel->PaintInfo(painter);
}

QColor TFormMain::DeviceActivityColor(const QString& ipAddress) const
{
    if (!FStatusListener || ipAddress.isEmpty())
        return DeviceActivityDotColor(TDeviceActivity::Unknown);
    return DeviceActivityDotColor(DeviceActivity(FStatusListener->GetStatusFor(ipAddress)));
}

void TFormMain::ListBoxDevicesDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const
{
    FDevicePanel->DrawRow(painter, index, rect, selected);
}

void TFormMain::ListBoxDevicesDblClick()
{
    TQuillexDevice device;
    if (!SelectedDevice(device) || !CheckDevicePin(device))
        return;
    const TDeviceSettingsOriginal settings
        = DeviceSettingsFromStatus(FStatusListener->GetStatusFor(device.IPAddress), device.DisplayName);
    TFormDeviceSettings dialog(FPrompter, this, WindowCallRunner());
    dialog.Initialize(settings.Name, settings.Controller, settings.Baud, settings.XoffTimeout, settings.XonXoff,
        settings.DataBits, settings.Parity, settings.StopBits, device.IPAddress, device.Port, device.PinRequired,
        device.MacId);
    dialog.SetHistory([this](const TTransferRecord& record) { FHistory->Record(record); });
    dialog.exec();
}

// The main window's toolpath panel: its tool-bar button, its place beside the
// editor and the tool-change panel, its remembered width and visibility, and
// the connections that keep the view on the document, the caret and the
// selected start-from point.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "ToolChangePanel.h"
#include "ToolpathPanel.h"
#include "WindowLook.h"
#include "device/ProgramTransfer.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QPainter>
#include <QSettings>
#include <QSplitter>
#include <QTimer>

#include <Qsci/qsciscintilla.h>

namespace {

// Milliseconds of quiet after an edit before the path follows it.
constexpr int EditPauseMs = 700;

// The button's picture: a path of a dashed rapid and solid cuts.
QIcon ToolpathIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(214, 128, 0), 3, Qt::DashLine));
    painter.drawLine(QPointF(8, 56), QPointF(14, 14));
    painter.setPen(QPen(QColor(0, 80, 192), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF cut[] = { { 14, 14 }, { 50, 14 }, { 50, 30 }, { 22, 30 }, { 22, 46 }, { 56, 46 } };
    painter.drawPolyline(cut, 6);
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.drawEllipse(QPointF(56, 46), 4, 4);
    return QIcon(pixmap);
}

} // namespace

void TFormMain::SetUpToolpathPanel()
{
    // A splitter of its own around the editor's: the tool-change panel's sizes stay as they were.
    FSplitterToolpath = new QSplitter(Qt::Horizontal, ui->Panel2);
    FSplitterToolpath->setObjectName("SplitterToolpath");
    ui->LayoutEditor->replaceWidget(ui->SplitterToolChanges, FSplitterToolpath);
    FSplitterToolpath->addWidget(ui->SplitterToolChanges);
    FToolpathPanel = new TToolpathPanel(FSplitterToolpath);
    FSplitterToolpath->addWidget(FToolpathPanel);
    FSplitterToolpath->setStretchFactor(0, 1);
    FSplitterToolpath->setStretchFactor(1, 0);
    FSplitterToolpath->setChildrenCollapsible(false);
    FToolpathPanel->hide();

    FToolpathButton = new QToolButton(ui->Panel1);
    FToolpathButton->setObjectName("SpeedButtonToolpath");
    // It gives way first in a window narrower than the tool bar: a width the
    // window had before this button keeps fitting.
    FToolpathButton->setMinimumSize(40, 80);
    FToolpathButton->setMaximumSize(80, 80);
    FToolpathButton->setIconSize(QSize(64, 64));
    FToolpathButton->setAutoRaise(true);
    FToolpathButton->setFocusPolicy(Qt::NoFocus);
    FToolpathButton->setCheckable(true);
    FToolpathButton->setToolTip(QString::fromUtf8("TAKIM YOLU GÖRÜNÜMÜ"));
    FToolpathButton->setIcon(ToolpathIcon());
    ui->LayoutToolBar->insertWidget(ui->LayoutToolBar->indexOf(ui->SpeedButtonScanToolChanges), FToolpathButton);
    connect(FToolpathButton, &QToolButton::clicked, this, &TFormMain::SpeedButtonToolpathClick);

    TToolpathView* view = FToolpathPanel->View();
    FToolpathEditTimer = new QTimer(this);
    FToolpathEditTimer->setSingleShot(true);
    FToolpathEditTimer->setInterval(EditPauseMs);
    connect(FToolpathEditTimer, &QTimer::timeout, this, [this] { ToolpathDocumentChanged(false); });
    connect(ui->SynEditProgram, &QsciScintilla::textChanged, FToolpathEditTimer, qOverload<>(&QTimer::start));
    connect(ui->SynEditProgram, &QsciScintilla::cursorPositionChanged, view,
        [view](int line, int) { view->SetCaretLine(line + 1); });
    connect(view, &TToolpathView::LineClicked, this, [this](qint32 line) {
        if (FDocument->Mode() != TDocumentMode::Text)
            return;
        ui->SynEditProgram->setCursorPosition(line - 1, 0);
        ui->SynEditProgram->ensureLineVisible(line - 1);
    });
    connect(ui->ListBoxToolChanges->selectionModel(), &QItemSelectionModel::currentChanged, view, [this, view] {
        view->SelectStartFrom(FShownMode == TDocumentMode::Text ? FToolChangePanel->SelectedValue() : 0);
    });
    // A SIEMENS control's program is not interpreted: choosing such a device,
    // or another one after it, changes what the view shows. A newer device
    // list may also change the selected device's control.
    const auto deviceChanged = [this] {
        if (IsSelectedDeviceSiemens() != FToolpathForSiemens)
            ToolpathDocumentChanged(true);
    };
    connect(FDeviceList->Selection(), &QItemSelectionModel::selectionChanged, this, deviceChanged);
    connect(FDeviceList, &QAbstractItemModel::modelReset, this, deviceChanged);
}

void TFormMain::RestoreToolpathLayout(QSettings& settings)
{
    bool ok = false;
    const int width = settings.value("ToolpathPanelWidth").toInt(&ok);
    if (ok && width > 0)
        FToolpathPanelWidth = width;
    ShowToolpathPanel(settings.value("ToolpathPanelVisible", 0).toInt() != 0);
}

void TFormMain::SaveToolpathLayout(QSettings& settings) const
{
    settings.setValue("ToolpathPanelVisible", FToolpathPanel->isHidden() ? 0 : 1);
    settings.setValue("ToolpathPanelWidth", FToolpathPanel->isHidden() ? FToolpathPanelWidth : FToolpathPanel->width());
}

void TFormMain::SpeedButtonToolpathClick()
{
    ShowToolpathPanel(FToolpathPanel->isHidden());
}

void TFormMain::ShowToolpathPanel(bool visible)
{
    FToolpathButton->setChecked(visible);
    if (visible == !FToolpathPanel->isHidden())
        return;
    if (!visible) {
        FToolpathPanelWidth = FToolpathPanel->width();
        FToolpathPanel->hide();
        return;
    }
    FToolpathPanel->show();
    // Before the window is laid out the splitter has no width yet: the window's less the devices'.
    const int total = FSplitterToolpath->width() > FToolpathPanelWidth
        ? FSplitterToolpath->width()
        : qMax(FToolpathPanelWidth + 100, width() - ui->PanelDevices->width());
    // The editor keeps more than half of it: a width saved in a wider window does not squeeze it away.
    int panel = qMin(FToolpathPanelWidth, total * 45 / 100);
    // In a window too narrow for four panels the device list gives way
    // first, then the path, so that the editor stays wide enough to read;
    // the splitters hand the width the device list gives to the editor.
    const QList<int> besideEditor = ui->SplitterToolChanges->sizes(); // hex view, editor, tool changes
    const QList<int> devices = ui->SplitterDevices->sizes();
    if (besideEditor.size() == 3 && devices.size() == 2) {
        const int missing = MinEditorWidth - (total - panel - besideEditor[0] - besideEditor[2]);
        const int give = qBound(0, missing, qMax(0, devices[0] - MinDevicesPanelWidth));
        if (give > 0)
            ui->SplitterDevices->setSizes({ devices[0] - give, devices[1] + give });
        if (missing > give)
            panel = qMax(qMin(panel, MinToolpathPanelWidth), panel - (missing - give));
    }
    FSplitterToolpath->setSizes({ total - panel, panel });
    if (FToolpathStale)
        ToolpathDocumentChanged(true);
}

void TFormMain::ToolpathDocumentChanged(bool fit)
{
    if (!FToolpathPanel)
        return;
    if (FToolpathPanel->isHidden()) {
        FToolpathStale = true; // made when the panel is shown: a hidden view costs nothing
        return;
    }
    TToolpathView* view = FToolpathPanel->View();
    FToolpathForSiemens = IsSelectedDeviceSiemens();
    QList<qint32> points;
    const TToolChangeRows& rows = FDocument->ToolChangeRows();
    for (qsizetype row = 0; row < qMin<qsizetype>(MaxStartFromEntries, rows.size()); ++row)
        points.append(rows.LineNumber(row));
    view->SetStartFromPoints(points);
    switch (FDocument->Mode()) {
    case TDocumentMode::Cmt:
        FToolpathText.clear();
        view->SetNotInterpreted(QString::fromUtf8("Mazatrol CMT dosyası G-kodu değil; takım yolu yorumlanmıyor."));
        break;
    case TDocumentMode::RawCapture:
        FToolpathText.clear();
        view->SetNotInterpreted(QString::fromUtf8("Ham kayıt bir G-kodu metni değil; takım yolu yorumlanmıyor."));
        break;
    case TDocumentMode::Text:
        if (FToolpathForSiemens) {
            FToolpathText.clear();
            view->SetNotInterpreted(QString::fromUtf8("SIEMENS kontrolünün programı yorumlanmıyor; takım yolu ve "
                                                      "güvenlik kontrolü yok."));
            break;
        }
        {
            QByteArray text = FDocument->Utf8Text();
            if (FToolpathStale || text != FToolpathText) { // a paste of the same text, a redraw: nothing new
                FToolpathText = text;
                view->SetProgram(std::move(text), fit || FToolpathStale);
            }
        }
        break;
    }
    FToolpathStale = false;
}

void TFormMain::ShowStartFromRun(qint32 toolChangeLine)
{
    FToolpathPanel->View()->SelectStartFrom(toolChangeLine);
}

#pragma once
// The transfer panel: a running upload's or download's progress (title,
// status line, bar), the green success line shown for a few seconds after
// one ended, and the read-back's line under it. The window starts and ends
// the transfers; the panel shows them.
#include "transfer/UnitTransferProgress.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class TOperationProgress;
class QProgressBar;
class QTimer;
class QWidget;

class TTransferPanel : public QObject, private TTransferProgressView {
    Q_OBJECT
public:
    // The widgets are the window's, kept by their names.
    TTransferPanel(QWidget* panel, QLabel* title, QLabel* status, QProgressBar* bar, QLabel* verify,
        std::function<quint32()> tickSource, QObject* parent = nullptr);
    ~TTransferPanel() override;

    // A transfer begins: its progress from 0, the read-back's line hidden.
    TTransferProgress& Start(const QString& title);
    // The transfer's progress while one runs, else null.
    TTransferProgress* Progress() const { return FProgress.get(); }
    // The transfer ended: the panel hides unless a success is shown next.
    void End();
    // An operation's progress, handed to the window's thread, shown on the
    // running transfer's progress; a large upload shows the device's own
    // counters from deviceStatus.
    std::shared_ptr<TOperationProgress> OperationProgress(std::function<QString()> deviceStatus = {});

    // "Başarı ile Tamamlandı." in green under title, full bar, for four
    // seconds; shown again meanwhile, the four seconds start anew.
    void ShowTransferSuccess(const QString& title);
    // The same with the read-back's line under it.
    void ShowTransferSuccess(const QString& title, const QString& verifiedLine);
    // Ends the success display, if it is on: the status line's colour
    // restored, the panel hidden when asked.
    void StopTransferDoneTimer(bool hidePanel);
    bool SuccessShown() const;
    void TransferDoneTimerTimer() { StopTransferDoneTimer(true); }

private:
    void SetTitle(const QString& title) override;
    void SetStatus(const QString& text) override;
    void SetBar(int position) override;
    void SetBarMarquee() override;
    void SetPanelVisible(bool visible) override;

    void SetStatusColor(const QColor& color);
    QColor StatusColor() const;

    QWidget* FPanel;
    QLabel* FTitle;
    QLabel* FStatus;
    QProgressBar* FBar;
    QLabel* FVerify;
    std::function<quint32()> FTickSource;
    std::unique_ptr<TTransferProgress> FProgress;
    QTimer* FTransferDoneTimer = nullptr; // made on the first success display
    QColor FTransferStatusColor; // the status line's colour before the success green
};

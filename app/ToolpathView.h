#pragma once
// The "Takım Yolu" view: draws the interpreted path of the program (rapids
// dashed, cuts solid), its extents, the start-from points; zooms, pans and
// turns with the mouse. The interpretation runs on a worker thread and the
// geometry, projection and hit test live in the core (toolpath/ToolpathScene.h):
// this widget only asks and draws.
#include "toolpath/ToolpathScene.h"

#include <QList>
#include <QWidget>

#include <atomic>
#include <memory>

class TToolpathView : public QWidget {
    Q_OBJECT
public:
    explicit TToolpathView(QWidget* parent = nullptr);
    ~TToolpathView() override;

    // Interprets the text on a worker, started once the events already
    // queued are handled; a newer call (or SetNotInterpreted) stops an older
    // one's worker.
    // fit: show the whole path once it is there (a new program), rather than
    // keep the operator's zoom (an edit).
    void SetProgram(QByteArray text, bool fit);
    // No path, and why.
    void SetNotInterpreted(const QString& reason);
    // The caret's line (1-based): its move is highlighted.
    void SetCaretLine(qint32 line);
    // The tool changes of the start-from points, numbered on the path from 1.
    void SetStartFromPoints(const QList<qint32>& toolChangeLines);
    // The selected start-from point's tool change (0 for none): its run is highlighted.
    void SelectStartFrom(qint32 toolChangeLine);
    void SetDirection(TViewDirection direction);
    void FitAll();

    bool Building() const { return FJob != FDoneJob; }
    const TToolpathScene* Scene() const { return FScene.get(); }
    const TViewCamera& Camera() const { return FCamera; }
    void SetCamera(const TViewCamera& camera);
    qint64 CaretMove() const { return FCaretMove; }
    std::pair<qint64, qint64> Section() const { return FSection; }
    // What is said under the path: why it stops, or why there is none.
    QString Note() const { return FNote; }
    // Interpretations given up in this process because a newer text replaced theirs.
    static int StoppedBuilds();
    // Waits until no path is being built in this process (false on timeout).
    static bool WaitForBuilds(int milliseconds = -1);
    // The lines the last paint drew.
    qsizetype DrawnLines() const { return FProjected.Lines(); }

signals:
    // A click on the path: the line of the move under the pointer.
    void LineClicked(qint32 line);
    // A newer interpretation has replaced the path.
    void SceneReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StopBuilding();
    void StartBuilding(quint64 job, bool fit, QByteArray text, std::shared_ptr<std::atomic<bool>> cancel);
    void TakeScene(std::shared_ptr<const TToolpathScene> scene, bool fit);
    void UpdateHighlights();
    void UpdateMarkers();
    void ViewChanged();
    void DrawOverlay(QPainter& painter);

    std::shared_ptr<const TToolpathScene> FScene;
    quint64 FJob = 0, FDoneJob = 0;
    std::shared_ptr<std::atomic<bool>> FCancel; // the running build's stop flag
    TViewCamera FCamera;
    TViewDirection FDirection = TViewDirection::Isometric;
    qint32 FCaretLine = 0;
    qint64 FCaretMove = -1;
    QList<qint32> FStartFromLines;
    // Where each start-from point's run begins, found when the path or the points change
    // rather than at every paint; a NaN X for a point without a run.
    std::vector<TPoint3> FMarkers;
    qint32 FSelectedStartFrom = 0;
    std::pair<qint64, qint64> FSection { 0, 0 };
    QString FNote;
    // The projection of the last paint, kept while nothing that changes it happens.
    TProjectedPath FProjected;
    bool FProjectionValid = false;
    QPoint FPressPos, FLastPos;
    Qt::MouseButton FDragButton = Qt::NoButton;
    bool FDragged = false;
};

#pragma once
// The toolpath view's geometry, without a widget: the path as one polyline in
// space (arcs split into short chords), a camera that projects it onto the
// view, the level of detail that never hands the painter more lines than the
// view has pixels for, and the hit test that finds the move under a point.
#include "GCodeInterpreter.h"

#include <QLineF>
#include <QPointF>
#include <QSize>

#include <utility>
#include <vector>

enum class TViewDirection { Top, Front, Side, Isometric };

// One point of the polyline, the end of a chord of move Move.
struct TScenePoint {
    float X = 0, Y = 0, Z = 0;
    quint32 Move = 0;
};

class TToolpathScene {
public:
    TToolpathScene() = default;
    // Takes the interpreted path; for a worker thread.
    explicit TToolpathScene(TToolpath path);

    const TToolpath& Path() const { return FPath; }
    const TToolpathSummary& Summary() const { return FSummary; }
    // Point 0 is where the run starts; each later point ends a chord of its move.
    const std::vector<TScenePoint>& Points() const { return FPoints; }
    // The first move, in the order the control runs them, of the line; -1 when none.
    qint64 FirstMoveAtLine(qint32 line) const;
    // The moves a restart at the tool change of the line runs with its tool,
    // up to the next tool change: [first, end); first == end when none.
    std::pair<qint64, qint64> ToolRunFrom(qint32 toolChangeLine) const;
    // Where the tool stands before the move (the end of the move before).
    TPoint3 StartOf(qint64 move) const;
    // The points [first, end) that draw the move.
    std::pair<qint64, qint64> PointsOf(qint64 move) const;

private:
    TToolpath FPath;
    TToolpathSummary FSummary;
    std::vector<TScenePoint> FPoints;
    std::vector<quint32> FFirstPoint; // per move, its first point; one more at the end
    std::vector<std::pair<quint32, quint32>> FLineMoves; // (line, move), sorted
};

// The view's camera: a turn about Z (yaw), then a tilt about the screen's
// horizontal (pitch), a scale in pixels per unit and the point of the view
// plane shown at the view's centre.
struct TViewCamera {
    double Yaw = 0, Pitch = 0;
    double Scale = 1;
    QPointF Center;

    static TViewCamera Looking(TViewDirection direction);
    // The view plane's coordinates of a point (x right, y up).
    QPointF ViewPlane(double x, double y, double z) const;
    // The pixel of a point in a view of the size (y down).
    QPointF Project(double x, double y, double z, QSize view) const;
    // Scale and centre so that the whole box shows with margin pixels around it.
    void Fit(const TPoint3& min, const TPoint3& max, QSize view, double margin = 24);
    // Zooms by factor keeping the point under the pixel where it is.
    void ZoomAt(double factor, QPointF pixel, QSize view);
    // Moves what is shown by the pixels dragged.
    void Pan(QPointF pixels);
    // Turns by the angles (radians); the pitch stays between straight down and level.
    void Rotate(double yaw, double pitch);
};

// The lines to draw, by how they are drawn.
struct TProjectedPath {
    std::vector<QLineF> Rapids; // dashed
    std::vector<QLineF> Cuts; // feeds, arcs and holes: solid
    std::vector<QLineF> Section; // the selected start-from point's run
    std::vector<QLineF> Caret; // the move of the caret's line
    qsizetype Lines() const { return qsizetype(Rapids.size() + Cuts.size() + Section.size() + Caret.size()); }
};

// Projects the path for a view of the size. Chords that stay within one
// pixel are merged, short ones that only touch pixels already drawn are left
// out, and the whole never holds more lines than the view has pixels.
TProjectedPath ProjectScene(const TToolpathScene& scene, const TViewCamera& camera, QSize view, qint64 caretMove = -1,
    std::pair<qint64, qint64> section = { 0, 0 });

// A dimension line of the path's extent along one axis, as a drawing shows
// it: the line between its arrow tips, beside the path, the two extension
// lines from the path's box out to just past it, and the length it measures
// (program units).
struct TDimensionLine {
    QLineF Line;
    QLineF FromExtension, ToExtension;
    double Length = 0;
    bool Vertical = false;
};

// Pixels between the path's box and its dimension lines, and how far the
// extension lines reach past them.
constexpr double DimensionOffset = 16, DimensionOverrun = 4;

// The top view's dimension lines of the extents: X under the path, Y left of
// it. None in any other view (their lengths would not read true), and none
// for an extent too short on the screen for its two arrows.
std::vector<TDimensionLine> TopViewDimensions(const TToolpathSummary& summary, const TViewCamera& camera, QSize view);

// The move drawn nearest to the pixel, within tolerance pixels; -1 when none.
qint64 MoveAtPixel(
    const TToolpathScene& scene, const TViewCamera& camera, QSize view, QPointF pixel, double tolerance = 5);

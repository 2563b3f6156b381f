// The toolpath view's geometry: the polyline built once per program, then
// projected at every paint with a level of detail bound to the view's pixels.
#include "ToolpathScene.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
// Chords of an arc: 64 a turn keep a 100 mm radius within 0.12 mm of the arc,
// less than a pixel until the view is zoomed far in.
constexpr double ChordAngle = Pi / 32;

TPoint3 EndOf(const TToolpathMove& move)
{
    return { move.EndX(), move.EndY(), move.EndZ() };
}

// The projection of one camera into one view, its sines and cosines once.
struct TProjector {
    double CosYaw, SinYaw, CosPitch, SinPitch, Scale, HalfW, HalfH;
    QPointF Center;

    TProjector(const TViewCamera& camera, QSize view)
        : CosYaw(std::cos(camera.Yaw))
        , SinYaw(std::sin(camera.Yaw))
        , CosPitch(std::cos(camera.Pitch))
        , SinPitch(std::sin(camera.Pitch))
        , Scale(camera.Scale)
        , HalfW(view.width() / 2.0)
        , HalfH(view.height() / 2.0)
        , Center(camera.Center)
    {
    }
    QPointF Plane(double x, double y, double z) const
    {
        const double yy = x * SinYaw + y * CosYaw;
        return { x * CosYaw - y * SinYaw, yy * CosPitch - z * SinPitch };
    }
    QPointF Pixel(double x, double y, double z) const
    {
        const QPointF p = Plane(x, y, z);
        return { HalfW + (p.x() - Center.x()) * Scale, HalfH - (p.y() - Center.y()) * Scale };
    }
};

double DistanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

} // namespace

TToolpathScene::TToolpathScene(TToolpath path)
    : FPath(std::move(path))
{
    FSummary = SummarizeToolpath(FPath, 5000);
    const std::vector<TToolpathMove>& moves = FPath.Moves();
    FPoints.reserve(moves.size() + 1);
    FFirstPoint.reserve(moves.size() + 1);
    FPoints.push_back({});
    TPoint3 at;
    std::vector<TPoint3> arc;
    for (quint32 m = 0; m < moves.size(); ++m) {
        const TToolpathMove& move = moves[m];
        FFirstPoint.push_back(quint32(FPoints.size()));
        if (move.Kind == TMoveKind::Dwell)
            continue;
        arc.clear();
        if (move.Kind == TMoveKind::Arc)
            ArcPoints(move, at, ChordAngle, arc);
        else
            arc.push_back(EndOf(move));
        for (const TPoint3& p : arc)
            FPoints.push_back({ float(p.X), float(p.Y), float(p.Z), m });
        at = EndOf(move);
    }
    FFirstPoint.push_back(quint32(FPoints.size()));
    FLineMoves.reserve(moves.size());
    for (quint32 m = 0; m < moves.size(); ++m)
        FLineMoves.emplace_back(moves[m].Line, m);
    // In line order already unless subprograms or jumps ran lines twice.
    if (!std::is_sorted(FLineMoves.begin(), FLineMoves.end()))
        std::sort(FLineMoves.begin(), FLineMoves.end());
}

qint64 TToolpathScene::FirstMoveAtLine(qint32 line) const
{
    const auto found = std::lower_bound(FLineMoves.begin(), FLineMoves.end(), std::pair<quint32, quint32>(line, 0));
    return found != FLineMoves.end() && qint32(found->first) == line ? qint64(found->second) : qint64(-1);
}

std::pair<qint64, qint64> TToolpathScene::ToolRunFrom(qint32 toolChangeLine) const
{
    const std::vector<TToolpathMove>& moves = FPath.Moves();
    const qint64 count = qint64(moves.size());
    qint64 first = 0;
    while (first < count && qint32(moves[first].Line) < toolChangeLine)
        ++first;
    qint64 end = first;
    while (end < count && moves[end].Tool == moves[first].Tool)
        ++end;
    return { first, end };
}

TPoint3 TToolpathScene::StartOf(qint64 move) const
{
    if (move <= 0 || move >= qint64(FFirstPoint.size()))
        return {};
    const TScenePoint& p = FPoints[FFirstPoint[move] - 1];
    return { p.X, p.Y, p.Z };
}

std::pair<qint64, qint64> TToolpathScene::PointsOf(qint64 move) const
{
    if (move < 0 || move + 1 >= qint64(FFirstPoint.size()))
        return { 0, 0 };
    return { FFirstPoint[move], FFirstPoint[move + 1] };
}

TViewCamera TViewCamera::Looking(TViewDirection direction)
{
    TViewCamera camera;
    switch (direction) {
    case TViewDirection::Top:
        break;
    case TViewDirection::Front: // X to the right, Z up
        camera.Pitch = -Pi / 2;
        break;
    case TViewDirection::Side: // Y to the right, Z up
        camera.Yaw = -Pi / 2;
        camera.Pitch = -Pi / 2;
        break;
    case TViewDirection::Isometric:
        camera.Yaw = -Pi / 4;
        camera.Pitch = -std::atan(std::sqrt(2.0));
        break;
    }
    return camera;
}

QPointF TViewCamera::ViewPlane(double x, double y, double z) const
{
    return TProjector(*this, {}).Plane(x, y, z);
}

QPointF TViewCamera::Project(double x, double y, double z, QSize view) const
{
    return TProjector(*this, view).Pixel(x, y, z);
}

void TViewCamera::Fit(const TPoint3& min, const TPoint3& max, QSize view, double margin)
{
    double left = 0, right = 0, bottom = 0, top = 0;
    bool first = true;
    for (int corner = 0; corner < 8; ++corner) {
        const QPointF p = ViewPlane(corner & 1 ? max.X : min.X, corner & 2 ? max.Y : min.Y, corner & 4 ? max.Z : min.Z);
        left = first ? p.x() : std::min(left, p.x());
        right = first ? p.x() : std::max(right, p.x());
        bottom = first ? p.y() : std::min(bottom, p.y());
        top = first ? p.y() : std::max(top, p.y());
        first = false;
    }
    // A path without width or height (one line, one point) still gets a finite scale.
    const double width = std::max(right - left, 1e-3), height = std::max(top - bottom, 1e-3);
    const double usableW = std::max(view.width() - 2 * margin, 1.0);
    const double usableH = std::max(view.height() - 2 * margin, 1.0);
    Scale = std::min(usableW / width, usableH / height);
    Center = { (left + right) / 2, (bottom + top) / 2 };
}

void TViewCamera::ZoomAt(double factor, QPointF pixel, QSize view)
{
    const double halfW = view.width() / 2.0, halfH = view.height() / 2.0;
    const QPointF under(Center.x() + (pixel.x() - halfW) / Scale, Center.y() - (pixel.y() - halfH) / Scale);
    Scale = std::clamp(Scale * factor, 1e-6, 1e9);
    Center = { under.x() - (pixel.x() - halfW) / Scale, under.y() + (pixel.y() - halfH) / Scale };
}

void TViewCamera::Pan(QPointF pixels)
{
    Center -= QPointF(pixels.x() / Scale, -pixels.y() / Scale);
}

void TViewCamera::Rotate(double yaw, double pitch)
{
    Yaw = std::remainder(Yaw + yaw, 2 * Pi);
    Pitch = std::clamp(Pitch + pitch, -Pi / 2, 0.0);
}

TProjectedPath ProjectScene(const TToolpathScene& scene, const TViewCamera& camera, QSize view, qint64 caretMove,
    std::pair<qint64, qint64> section)
{
    TProjectedPath out;
    const int w = std::max(view.width(), 1), h = std::max(view.height(), 1);
    const qsizetype budget = qsizetype(w) * h;
    const TProjector projector(camera, view);
    const std::vector<TScenePoint>& points = scene.Points();
    const std::vector<TToolpathMove>& moves = scene.Path().Moves();
    if (points.size() < 2)
        return out;

    enum EClass { Rapid, Cut, Section, Caret, Classes };
    std::vector<QLineF>* lists[Classes] = { &out.Rapids, &out.Cuts, &out.Section, &out.Caret };
    // The pixels each kind of line has touched: a short line over them adds nothing.
    std::vector<std::vector<bool>> drawn(Caret, std::vector<bool>(size_t(budget)));
    const auto pixelIndex = [&](QPointF p) -> qsizetype {
        const double x = std::floor(p.x()), y = std::floor(p.y());
        return x < 0 || y < 0 || x >= w || y >= h ? -1 : qsizetype(y) * w + qsizetype(x);
    };
    const auto outside = [&](QPointF a, QPointF b) {
        return (a.x() < 0 && b.x() < 0) || (a.y() < 0 && b.y() < 0) || (a.x() >= w && b.x() >= w)
            || (a.y() >= h && b.y() >= h);
    };
    const auto add = [&](EClass kind, QPointF a, QPointF b) {
        if (outside(a, b))
            return;
        if (kind != Caret) {
            if (out.Lines() >= budget)
                return;
            const qsizetype pa = pixelIndex(a), pb = pixelIndex(b);
            const bool shortLine = std::abs(a.x() - b.x()) < 2 && std::abs(a.y() - b.y()) < 2;
            std::vector<bool>& seen = drawn[kind];
            if (shortLine && pa >= 0 && pb >= 0 && seen[pa] && seen[pb])
                return;
            if (pa >= 0)
                seen[pa] = true;
            if (pb >= 0)
                seen[pb] = true;
        }
        lists[kind]->emplace_back(a, b);
    };

    QPointF anchor = projector.Pixel(points[0].X, points[0].Y, points[0].Z), last = anchor;
    EClass pending = Rapid;
    for (size_t i = 1; i < points.size(); ++i) {
        const TScenePoint& p = points[i];
        const qint64 m = p.Move;
        const TMoveKind moveKind = moves[m].Kind;
        const EClass kind = m == caretMove                                   ? Caret
            : m >= section.first && m < section.second                       ? Section
            : moveKind == TMoveKind::Rapid || moveKind == TMoveKind::Machine ? Rapid
                                                                             : Cut;
        const QPointF q = projector.Pixel(p.X, p.Y, p.Z);
        if (kind != pending) {
            if (anchor != last)
                add(pending, anchor, last);
            anchor = last;
            pending = kind;
        }
        // A chord that stays in the anchor's pixel is merged into the next one.
        if (kind == Caret || std::floor(q.x()) != std::floor(anchor.x())
            || std::floor(q.y()) != std::floor(anchor.y())) {
            add(kind, anchor, q);
            anchor = q;
        }
        last = q;
    }
    if (anchor != last)
        add(pending, anchor, last);
    return out;
}

qint64 MoveAtPixel(const TToolpathScene& scene, const TViewCamera& camera, QSize view, QPointF pixel, double tolerance)
{
    const TProjector projector(camera, view);
    const std::vector<TScenePoint>& points = scene.Points();
    qint64 best = -1;
    double bestDistance = tolerance;
    QPointF from = points.empty() ? QPointF() : projector.Pixel(points[0].X, points[0].Y, points[0].Z);
    for (size_t i = 1; i < points.size(); ++i) {
        const QPointF to = projector.Pixel(points[i].X, points[i].Y, points[i].Z);
        // Cheap rejection first: most chords are far from the pixel.
        if (std::min(from.x(), to.x()) - tolerance <= pixel.x() && std::max(from.x(), to.x()) + tolerance >= pixel.x()
            && std::min(from.y(), to.y()) - tolerance <= pixel.y()
            && std::max(from.y(), to.y()) + tolerance >= pixel.y()) {
            const double d = DistanceToSegment(pixel, from, to);
            if (d <= bestDistance) { // the later move wins a tie: it is drawn on top
                bestDistance = d;
                best = points[i].Move;
            }
        }
        from = to;
    }
    return best;
}

std::vector<TDimensionLine> TopViewDimensions(const TToolpathSummary& summary, const TViewCamera& camera, QSize view)
{
    std::vector<TDimensionLine> lines;
    const TViewCamera top = TViewCamera::Looking(TViewDirection::Top);
    if (summary.Empty || camera.Yaw != top.Yaw || camera.Pitch != top.Pitch)
        return lines;
    // Shorter than this many pixels, the two arrows would overlap.
    constexpr double MinPixels = 16;
    const QPointF low = camera.Project(summary.Min.X, summary.Min.Y, 0, view); // bottom left
    const QPointF high = camera.Project(summary.Max.X, summary.Max.Y, 0, view); // top right
    if (high.x() - low.x() >= MinPixels) {
        const double y = low.y() + DimensionOffset;
        TDimensionLine x;
        x.Line = QLineF(low.x(), y, high.x(), y);
        x.FromExtension = QLineF(low.x(), low.y() + 2, low.x(), y + DimensionOverrun);
        x.ToExtension = QLineF(high.x(), low.y() + 2, high.x(), y + DimensionOverrun);
        x.Length = summary.Max.X - summary.Min.X;
        lines.push_back(x);
    }
    if (low.y() - high.y() >= MinPixels) {
        const double x = low.x() - DimensionOffset;
        TDimensionLine y;
        y.Line = QLineF(x, low.y(), x, high.y());
        y.FromExtension = QLineF(low.x() - 2, low.y(), x - DimensionOverrun, low.y());
        y.ToExtension = QLineF(low.x() - 2, high.y(), x - DimensionOverrun, high.y());
        y.Length = summary.Max.Y - summary.Min.Y;
        y.Vertical = true;
        lines.push_back(y);
    }
    return lines;
}

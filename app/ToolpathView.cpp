#include "ToolpathView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QWheelEvent>

#include <atomic>
#include <cmath>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

const QColor RapidColour(214, 128, 0);
const QColor CutColour(0, 80, 192);
const QColor SectionColour(0, 150, 60);
const QColor CaretColour(220, 0, 0);
const QColor MarkerColour(120, 0, 160);
const QColor DimensionColour(60, 60, 60);
// An arrowhead's length and half width, in pixels.
constexpr double ArrowLength = 8, ArrowHalfWidth = 3;
// Pixels the pointer may move between press and release and still click.
constexpr int ClickSlop = 3;
// Radians a dragged pixel turns the view.
constexpr double TurnPerPixel = 0.01;

QString Number(double value)
{
    return QString::number(std::fabs(value) < 0.0005 ? 0.0 : value, 'f', 3);
}

// A filled arrowhead with its tip at tip, pointing away from from.
void DrawArrowhead(QPainter& painter, QPointF tip, QPointF from)
{
    const QLineF back(tip, from);
    const double length = back.length();
    if (length <= 0)
        return;
    const QPointF along = (from - tip) / length;
    const QPointF across(-along.y(), along.x());
    const QPointF base = tip + along * ArrowLength;
    const QPointF head[] = { tip, base + across * ArrowHalfWidth, base - across * ArrowHalfWidth };
    painter.drawPolygon(head, 3);
}

// The extents as a drawing dimensions them: extension lines, the dimension
// line with its arrows, and the length in a gap of its own on the line.
void DrawDimension(QPainter& painter, const TDimensionLine& dimension)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false); // crisp one-pixel lines, as a drawing's
    painter.setPen(QPen(DimensionColour, 1));
    painter.setBrush(DimensionColour);
    painter.drawLine(dimension.FromExtension);
    painter.drawLine(dimension.ToExtension);
    painter.drawLine(dimension.Line);
    DrawArrowhead(painter, dimension.Line.p1(), dimension.Line.p2());
    DrawArrowhead(painter, dimension.Line.p2(), dimension.Line.p1());
    painter.setBrush(Qt::NoBrush);

    const QString text = Number(dimension.Length);
    const QFontMetricsF metrics(painter.font());
    const QSizeF size(metrics.horizontalAdvance(text) + 6, metrics.height());
    // Where the line is too short for its text, the text stands beside it,
    // on the side away from the path.
    const bool fits = size.width() + 2 * ArrowLength <= dimension.Line.length();
    painter.save();
    painter.translate(dimension.Line.center());
    if (dimension.Vertical)
        painter.rotate(-90); // reads from below, as a drawing's vertical dimensions do
    const double beside = dimension.Vertical ? -2 - size.height() : 2;
    const QRectF box(-size.width() / 2, fits ? -size.height() / 2 : beside, size.width(), size.height());
    if (fits)
        painter.fillRect(box, Qt::white);
    painter.setPen(DimensionColour);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
    painter.restore();
}

} // namespace

TToolpathView::TToolpathView(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(false);
    setMinimumSize(120, 120);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    FCamera = TViewCamera::Looking(FDirection);
}

namespace {

std::atomic<int> StoppedBuildCount { 0 };

// Niceness of the thread that builds paths: on two cores the window's own
// thread comes first, and the path still gets a fair share of a busy machine.
constexpr int BuildNiceness = 5;

// The paths are built one at a time on a thread of their own, below the
// window's priority; an older build stops within a few thousand lines, so
// the newest one waits little.
QThreadPool& BuildPool()
{
    static QThreadPool* const pool = [] {
        auto* p = new QThreadPool(QCoreApplication::instance());
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

void LowerThisThreadsPriority()
{
#ifdef Q_OS_LINUX
    // Linux gives each thread its own niceness (Qt's thread priorities do not
    // change it for ordinary threads); raising it needs no privilege.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), BuildNiceness);
#endif
}

} // namespace

TToolpathView::~TToolpathView()
{
    StopBuilding(); // a closing window does not wait for a path nobody will see
}

bool TToolpathView::WaitForBuilds(int milliseconds)
{
    return BuildPool().waitForDone(milliseconds);
}

int TToolpathView::StoppedBuilds()
{
    return StoppedBuildCount.load();
}

void TToolpathView::StopBuilding()
{
    if (FCancel)
        FCancel->store(true);
    FCancel.reset();
}

void TToolpathView::SetProgram(QByteArray text, bool fit)
{
    // The path of an older text is no longer wanted: its worker stops within a few thousand lines.
    StopBuilding();
    FCancel = std::make_shared<std::atomic<bool>>(false);
    const quint64 job = ++FJob;
    // The worker starts once the window has handled what is already queued,
    // the editor's paint of the new text first: on two cores it would
    // otherwise take the CPU the window opens with.
    QTimer::singleShot(0, this, [this, job, fit, text = std::move(text), cancel = FCancel]() mutable {
        if (FJob == job)
            StartBuilding(job, fit, std::move(text), std::move(cancel));
    });
    update();
}

void TToolpathView::StartBuilding(quint64 job, bool fit, QByteArray text, std::shared_ptr<std::atomic<bool>> cancel)
{
    const QPointer<TToolpathView> self(this);
    BuildPool().start([self, job, fit, text = std::move(text), cancel = std::move(cancel)] {
        LowerThisThreadsPriority();
        TInterpreterOptions options;
        options.Cancelled = [&cancel] { return cancel->load(std::memory_order_relaxed); };
        TToolpath path = InterpretProgram(text, options);
        if (path.Cancelled()) {
            ++StoppedBuildCount;
            return;
        }
        auto scene = std::make_shared<const TToolpathScene>(std::move(path));
        // Delivered on the application's thread, where the pointer can be checked.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, job, fit, scene] {
                if (!self || self->FJob != job)
                    return;
                self->FDoneJob = job;
                self->FCancel.reset();
                self->TakeScene(scene, fit);
            },
            Qt::QueuedConnection);
    });
}

void TToolpathView::SetNotInterpreted(const QString& reason)
{
    StopBuilding();
    FDoneJob = ++FJob; // a path still being made is no longer wanted
    TakeScene(nullptr, true);
    FNote = reason;
    update();
}

void TToolpathView::TakeScene(std::shared_ptr<const TToolpathScene> scene, bool fit)
{
    FScene = std::move(scene);
    FNote.clear();
    if (FScene) {
        const TToolpath& path = FScene->Path();
        if (!path.Warnings().isEmpty()) {
            const TToolpathWarning& first = path.Warnings().first();
            FNote = QString::fromUtf8("Satır %1: %2").arg(first.Line).arg(first.Text);
            if (path.Stopped())
                FNote += QString::fromUtf8(" Yol bu satırda bitiyor.");
        }
        if (FScene->Summary().Empty && FNote.isEmpty())
            FNote = QString::fromUtf8("Programda hareket yok.");
    }
    UpdateHighlights();
    UpdateMarkers();
    if (fit)
        FitAll();
    ViewChanged();
    emit SceneReady();
}

void TToolpathView::SetCaretLine(qint32 line)
{
    if (line == FCaretLine)
        return;
    FCaretLine = line;
    UpdateHighlights();
    ViewChanged();
}

void TToolpathView::SetStartFromPoints(const QList<qint32>& toolChangeLines)
{
    FStartFromLines = toolChangeLines;
    UpdateMarkers();
    update();
}

void TToolpathView::SelectStartFrom(qint32 toolChangeLine)
{
    if (toolChangeLine == FSelectedStartFrom)
        return;
    FSelectedStartFrom = toolChangeLine;
    UpdateHighlights();
    ViewChanged();
}

void TToolpathView::UpdateHighlights()
{
    FCaretMove = FScene && FCaretLine > 0 ? FScene->FirstMoveAtLine(FCaretLine) : -1;
    FSection = FScene && FSelectedStartFrom > 0 ? FScene->ToolRunFrom(FSelectedStartFrom) : std::pair<qint64, qint64>();
}

void TToolpathView::UpdateMarkers()
{
    FMarkers.clear();
    for (int i = 0; FScene && i < FStartFromLines.size() && i < 20; ++i) {
        const auto [first, end] = FScene->ToolRunFrom(FStartFromLines[i]);
        FMarkers.push_back(first < end ? FScene->StartOf(first) : TPoint3 { qQNaN(), 0, 0 });
    }
}

void TToolpathView::SetDirection(TViewDirection direction)
{
    FDirection = direction;
    FCamera = TViewCamera::Looking(direction);
    FitAll();
}

void TToolpathView::FitAll()
{
    const TViewCamera looking = FCamera;
    if (FScene && !FScene->Summary().Empty)
        FCamera.Fit(FScene->Summary().Min, FScene->Summary().Max, size());
    else
        FCamera = TViewCamera::Looking(FDirection);
    FCamera.Yaw = looking.Yaw;
    FCamera.Pitch = looking.Pitch;
    ViewChanged();
}

void TToolpathView::SetCamera(const TViewCamera& camera)
{
    FCamera = camera;
    ViewChanged();
}

void TToolpathView::ViewChanged()
{
    FProjectionValid = false;
    update();
}

void TToolpathView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FProjectionValid = false;
}

void TToolpathView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!FScene) {
        painter.setPen(palette().color(QPalette::WindowText));
        const QString text = Building() ? QString::fromUtf8("Takım yolu hesaplanıyor...") : FNote;
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text);
        return;
    }
    if (!FProjectionValid) {
        FProjected = ProjectScene(*FScene, FCamera, size(), FCaretMove, FSection);
        FProjectionValid = true;
    }
    QPen rapid(RapidColour, 1, Qt::DashLine);
    painter.setPen(rapid);
    painter.drawLines(FProjected.Rapids.data(), int(FProjected.Rapids.size()));
    painter.setPen(QPen(CutColour, 1));
    painter.drawLines(FProjected.Cuts.data(), int(FProjected.Cuts.size()));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(SectionColour, 2));
    painter.drawLines(FProjected.Section.data(), int(FProjected.Section.size()));
    painter.setPen(QPen(CaretColour, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLines(FProjected.Caret.data(), int(FProjected.Caret.size()));
    DrawOverlay(painter);
}

void TToolpathView::DrawOverlay(QPainter& painter)
{
    // The start-from points, numbered as the device numbers them from the operator's 1.
    QFont small = font();
    small.setPixelSize(10);
    small.setBold(true);
    painter.setFont(small);
    for (int i = 0; i < int(FMarkers.size()); ++i) {
        const TPoint3& at = FMarkers[size_t(i)];
        if (qIsNaN(at.X))
            continue;
        const QPointF p = FCamera.Project(at.X, at.Y, at.Z, size());
        const QRectF badge(p.x() + 3, p.y() - 15, 14 + (i >= 9 ? 6 : 0), 13);
        painter.setPen(QPen(MarkerColour, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(p, 3, 3);
        painter.drawRoundedRect(badge, 3, 3);
        painter.drawText(badge, Qt::AlignCenter, QString::number(i + 1));
    }
    painter.setBrush(Qt::NoBrush);

    // The extents, in the program's units: dimensioned in the top view, and as figures.
    QFont text = font();
    text.setPixelSize(11);
    painter.setFont(text);
    for (const TDimensionLine& dimension : TopViewDimensions(FScene->Summary(), FCamera, size()))
        DrawDimension(painter, dimension);
    painter.setPen(palette().color(QPalette::WindowText));
    const TToolpathSummary& summary = FScene->Summary();
    if (!summary.Empty) {
        const QString extents = QString("X %1 … %2\nY %3 … %4\nZ %5 … %6")
                                    .arg(Number(summary.Min.X), Number(summary.Max.X), Number(summary.Min.Y),
                                        Number(summary.Max.Y), Number(summary.Min.Z), Number(summary.Max.Z));
        painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop, extents);
    }
    if (!FNote.isEmpty()) {
        painter.setPen(CaretColour);
        painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, FNote);
    }
}

void TToolpathView::wheelEvent(QWheelEvent* event)
{
    // One notch (120) zooms by a fifth.
    FCamera.ZoomAt(std::pow(1.2, event->angleDelta().y() / 120.0), event->position(), size());
    ViewChanged();
    event->accept();
}

void TToolpathView::mousePressEvent(QMouseEvent* event)
{
    FPressPos = FLastPos = event->position().toPoint();
    FDragButton = event->button();
    FDragged = false;
}

void TToolpathView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if ((at - FPressPos).manhattanLength() > ClickSlop)
        FDragged = true;
    if (!FDragged)
        return;
    const QPoint delta = at - FLastPos;
    FLastPos = at;
    if (FDragButton == Qt::RightButton)
        FCamera.Rotate(-delta.x() * TurnPerPixel, -delta.y() * TurnPerPixel);
    else if (FDragButton == Qt::LeftButton || FDragButton == Qt::MiddleButton)
        FCamera.Pan(delta);
    ViewChanged();
}

void TToolpathView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = !FDragged && FDragButton == Qt::LeftButton && event->button() == Qt::LeftButton;
    FDragButton = Qt::NoButton;
    if (!click || !FScene)
        return;
    const qint64 move = MoveAtPixel(*FScene, FCamera, size(), event->position());
    if (move >= 0)
        emit LineClicked(qint32(FScene->Path().Moves()[size_t(move)].Line));
}

void TToolpathView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F || event->key() == Qt::Key_Home) {
        FitAll();
        return;
    }
    QWidget::keyPressEvent(event);
}

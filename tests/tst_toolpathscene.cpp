// The toolpath view's geometry without a widget: the camera's projections,
// zoom and pan, the level of detail bound to the view's pixels, the hit test,
// and the moves a caret line and a start-from point pick.
#include "toolpath/ToolpathScene.h"

#include <QTest>

namespace {

TToolpathScene SceneOf(const QByteArray& program)
{
    return TToolpathScene(InterpretProgram(program));
}

// A 10 × 10 square at Z -1 after a rapid from the origin, one side a line.
const char* const Square = "G21 G90 G17\n" // 1
                           "G0 X0 Y0 Z5\n" // 2
                           "G1 Z-1 F100\n" // 3
                           "G1 X10\n" // 4
                           "G1 Y10\n" // 5
                           "G1 X0\n" // 6
                           "G1 Y0\n" // 7
                           "G0 Z5\n" // 8
                           "M30\n";

bool Near(QPointF a, QPointF b, double tolerance = 0.01)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

} // namespace

class TestToolpathScene : public QObject {
    Q_OBJECT
private slots:
    // Each direction puts the axes where a machinist expects them: +X right
    // from the top and the front, +Y right from the side, +Y or +Z up.
    void directions_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QPointF>("xAxis"); // where (1, 0, 0) goes on the view plane
        QTest::addColumn<QPointF>("yAxis");
        QTest::addColumn<QPointF>("zAxis");
        const double s = std::sqrt(0.5);
        const double c = std::sqrt(1.0 / 3), d = std::sqrt(2.0 / 3);
        QTest::newRow("top") << int(TViewDirection::Top) << QPointF(1, 0) << QPointF(0, 1) << QPointF(0, 0);
        QTest::newRow("front") << int(TViewDirection::Front) << QPointF(1, 0) << QPointF(0, 0) << QPointF(0, 1);
        QTest::newRow("side") << int(TViewDirection::Side) << QPointF(0, 0) << QPointF(1, 0) << QPointF(0, 1);
        QTest::newRow("isometric") << int(TViewDirection::Isometric) << QPointF(s, -s * c) << QPointF(s, s * c)
                                   << QPointF(0, d);
    }

    void directions()
    {
        QFETCH(int, direction);
        QFETCH(QPointF, xAxis);
        QFETCH(QPointF, yAxis);
        QFETCH(QPointF, zAxis);
        const TViewCamera camera = TViewCamera::Looking(TViewDirection(direction));
        QVERIFY(Near(camera.ViewPlane(1, 0, 0), xAxis, 1e-9));
        QVERIFY(Near(camera.ViewPlane(0, 1, 0), yAxis, 1e-9));
        QVERIFY(Near(camera.ViewPlane(0, 0, 1), zAxis, 1e-9));
    }

    // Fitted from the top, the square fills the view within the margin, X to
    // the right and Y up (pixels count down).
    void fitZoomAndPan()
    {
        const TToolpathScene scene = SceneOf(Square);
        QCOMPARE(scene.Summary().Min.X, 0.0);
        QCOMPARE(scene.Summary().Max.Y, 10.0);
        TViewCamera camera = TViewCamera::Looking(TViewDirection::Top);
        const QSize view(200, 100);
        camera.Fit(scene.Summary().Min, scene.Summary().Max, view, 10);
        QCOMPARE(camera.Scale, 8.0); // 80 pixels of height for 10 mm
        QVERIFY(Near(camera.Project(0, 0, 0, view), QPointF(60, 90)));
        QVERIFY(Near(camera.Project(10, 10, 0, view), QPointF(140, 10)));

        // Zooming keeps the point under the pointer where it is.
        const QPointF pointer(140, 10);
        camera.ZoomAt(2.5, pointer, view);
        QCOMPARE(camera.Scale, 20.0);
        QVERIFY(Near(camera.Project(10, 10, 0, view), pointer));
        QVERIFY(Near(camera.Project(0, 0, 0, view), QPointF(140 - 200, 10 + 200)));
        // Dragging moves what is shown with the pointer.
        camera.Pan(QPointF(15, -5));
        QVERIFY(Near(camera.Project(10, 10, 0, view), pointer + QPointF(15, -5)));
        // The view is never turned past straight down or below level.
        camera.Rotate(0.3, 5);
        QCOMPARE(camera.Pitch, 0.0);
        camera.Rotate(0, -5);
        QCOMPARE(camera.Pitch, -std::acos(0.0));
    }

    // The square's four cuts land on the view's pixels where its corners are;
    // the plunge is seen end-on from the top and merged away.
    void squareProjected()
    {
        const TToolpathScene scene = SceneOf(Square);
        TViewCamera camera = TViewCamera::Looking(TViewDirection::Top);
        const QSize view(120, 120);
        camera.Fit(scene.Summary().Min, scene.Summary().Max, view, 10);
        const TProjectedPath drawn = ProjectScene(scene, camera, view);
        const std::vector<QLineF> expected { { { 10, 110 }, { 110, 110 } }, { { 110, 110 }, { 110, 10 } },
            { { 110, 10 }, { 10, 10 } }, { { 10, 10 }, { 10, 110 } } };
        QCOMPARE(drawn.Cuts.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QVERIFY(Near(drawn.Cuts[i].p1(), expected[i].p1()));
            QVERIFY(Near(drawn.Cuts[i].p2(), expected[i].p2()));
        }
        QVERIFY(drawn.Rapids.empty()); // straight up and down from the top
        QVERIFY(drawn.Caret.empty());

        // The caret's move and a section are drawn apart from the rest.
        const qint64 caret = scene.FirstMoveAtLine(5);
        QCOMPARE(caret, qint64(3));
        const TProjectedPath highlighted = ProjectScene(scene, camera, view, caret, { 2, 4 });
        QCOMPARE(highlighted.Caret.size(), size_t(1));
        QVERIFY(Near(highlighted.Caret[0].p1(), QPointF(110, 110)));
        QVERIFY(Near(highlighted.Caret[0].p2(), QPointF(110, 10)));
        QCOMPARE(highlighted.Section.size(), size_t(1)); // moves 2 and 3, and 3 is the caret's
        QVERIFY(Near(highlighted.Section[0].p2(), QPointF(110, 110)));
        QCOMPARE(highlighted.Cuts.size(), size_t(2));
    }

    // However many moves, the painter gets no more lines than the view has
    // pixels, and a zigzag finer than a pixel is merged.
    void levelOfDetail_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("a small view") << 16 << 12;
        QTest::newRow("a panel") << 300 << 200;
    }

    void levelOfDetail()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QByteArray program = "G1 F1000\n";
        for (int i = 0; i < 40000; ++i) // a hatch over a 40 mm square, 1 µm apart
            program += "X" + QByteArray::number(i % 2 ? 40 : 0) + " Y" + QByteArray::number(i * 0.001, 'f', 3) + "\n";
        program += "G0 Z10\nX0 Y0\n";
        for (int i = 0; i < 20000; ++i) // and a dense zigzag within a tenth of a millimetre
            program += "G1 X" + QByteArray::number((i % 7) * 0.01, 'f', 2) + " Y"
                + QByteArray::number((i % 5) * 0.01, 'f', 2) + "\n";
        const TToolpathScene scene = SceneOf(program);
        QVERIFY(scene.Path().Moves().size() > 59000);
        TViewCamera camera = TViewCamera::Looking(TViewDirection::Top);
        const QSize view(width, height);
        camera.Fit(scene.Summary().Min, scene.Summary().Max, view, 2);
        const TProjectedPath drawn = ProjectScene(scene, camera, view);
        QVERIFY2(drawn.Lines() <= width * height, qPrintable(QString::number(drawn.Lines())));
        QVERIFY(drawn.Lines() > 0);
        // Zoomed in on the start it still draws the lines in sight, fewer than the pixels.
        camera.ZoomAt(1000, camera.Project(0, 0, 0, view), view);
        const TProjectedPath close = ProjectScene(scene, camera, view);
        QVERIFY(close.Lines() > 0);
        QVERIFY(close.Lines() <= width * height);
    }

    // A click finds the move under the pointer, the later one where two meet.
    void hitTest_data()
    {
        QTest::addColumn<QPointF>("pixel");
        QTest::addColumn<int>("line"); // 0: no move there
        QTest::newRow("bottom side") << QPointF(60, 111) << 4;
        QTest::newRow("right side") << QPointF(108, 60) << 5;
        QTest::newRow("top side") << QPointF(40, 12) << 6;
        QTest::newRow("left side") << QPointF(13, 70) << 7;
        QTest::newRow("inside") << QPointF(60, 60) << 0;
        QTest::newRow("outside") << QPointF(118, 2) << 0;
    }

    void hitTest()
    {
        QFETCH(QPointF, pixel);
        QFETCH(int, line);
        const TToolpathScene scene = SceneOf(Square);
        TViewCamera camera = TViewCamera::Looking(TViewDirection::Top);
        const QSize view(120, 120);
        camera.Fit(scene.Summary().Min, scene.Summary().Max, view, 10);
        const qint64 move = MoveAtPixel(scene, camera, view, pixel);
        QCOMPARE(move < 0 ? 0 : int(scene.Path().Moves()[size_t(move)].Line), line);
    }

    // A start-from point's run: from the tool change to the next one.
    void toolRuns()
    {
        const TToolpathScene scene = SceneOf("T1 M6\n" // 1
                                             "G0 X1\n" // 2
                                             "G1 X2 F100\n" // 3
                                             "T2 M6\n" // 4
                                             "G0 X5 Y5\n" // 5
                                             "G2 X7 Y7 I1 J1\n" // 6
                                             "G1 X8\n" // 7
                                             "T3 M6\n" // 8
                                             "G0 X0 Y0\n"); // 9
        const std::vector<TToolpathMove>& moves = scene.Path().Moves();
        const auto [first, end] = scene.ToolRunFrom(4);
        QCOMPARE(moves[size_t(first)].Line, 5u);
        QCOMPARE(moves[size_t(end - 1)].Line, 7u);
        QCOMPARE(moves[size_t(end)].Line, 9u);
        QCOMPARE(scene.StartOf(first).X, 2.0);
        const auto [last, none] = scene.ToolRunFrom(8);
        QCOMPARE(none - last, qint64(1));
        QCOMPARE(scene.FirstMoveAtLine(6), first + 1);
        QCOMPARE(scene.FirstMoveAtLine(4), qint64(-1)); // a tool change moves nothing
        // The arc is drawn in chords that end at its end point.
        const auto [from, to] = scene.PointsOf(first + 1);
        QVERIFY(to - from > 4);
        QCOMPARE(scene.Points()[size_t(to - 1)].X, 7.0f);
    }

    // Dimension lines only where their lengths read true, the top view, and
    // only for an extent long enough on the screen for its two arrows.
    void dimensionsInTheTopViewOnly()
    {
        const TToolpathScene scene = SceneOf(Square);
        const QSize view(300, 300);
        TViewCamera camera = TViewCamera::Looking(TViewDirection::Top);
        camera.Fit(scene.Summary().Min, scene.Summary().Max, view);
        const std::vector<TDimensionLine> lines = TopViewDimensions(scene.Summary(), camera, view);
        QCOMPARE(lines.size(), size_t(2));
        QCOMPARE(lines[0].Length, 10.0);
        QVERIFY(!lines[0].Vertical && lines[1].Vertical);
        const QPointF corner = camera.Project(0, 0, 0, view);
        QVERIFY(Near(lines[0].Line.p1(), corner + QPointF(0, DimensionOffset)));
        QVERIFY(Near(lines[1].Line.p2(), camera.Project(0, 10, 0, view) - QPointF(DimensionOffset, 0)));

        camera.Scale = 1; // the 10-unit square is 10 pixels wide: no room for arrows
        QVERIFY(TopViewDimensions(scene.Summary(), camera, view).empty());
        for (TViewDirection direction : { TViewDirection::Front, TViewDirection::Side, TViewDirection::Isometric }) {
            TViewCamera other = TViewCamera::Looking(direction);
            other.Fit(scene.Summary().Min, scene.Summary().Max, view);
            QVERIFY(TopViewDimensions(scene.Summary(), other, view).empty());
        }
    }
};

QTEST_GUILESS_MAIN(TestToolpathScene)
#include "tst_toolpathscene.moc"

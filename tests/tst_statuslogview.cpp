// The status log view: the latest lines kept, only lines in sight drawn, the
// newest followed unless the operator scrolled back, whole lines selected
// and copied.
#include "app/StatusLogView.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

namespace {

QStringList Numbered(int from, int to)
{
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines << QString("[127.0.0.1] {\"n\":%1}").arg(i);
    return lines;
}

// Whether any pixel of the row (in the viewport) is drawn darker than the background.
bool RowHasInk(TStatusLogView& view, int row)
{
    const QImage image = view.viewport()->grab().toImage();
    const int height = view.fontMetrics().lineSpacing();
    const QColor base = view.palette().color(QPalette::Base);
    for (int y = row * height; y < (row + 1) * height && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < qGray(base.rgb()) - 60)
                return true;
    return false;
}

} // namespace

class TestStatusLogView : public QObject {
    Q_OBJECT
private slots:
    void keepsTheLatestLines()
    {
        TStatusLogView view;
        view.SetMaximumLines(5);
        view.AppendLines(Numbered(1, 3));
        view.AppendLines({ "a\nb", "c" }); // a text with a line feed shows as two lines
        QCOMPARE(view.Text(), Numbered(2, 3).join('\n') + "\na\nb\nc");
        QCOMPARE(view.LineCount(), 5);
        view.Clear();
        QCOMPARE(view.Text(), QString());
        view.AppendLines(Numbered(1, 9));
        QCOMPARE(view.Text(), Numbered(5, 9).join('\n'));
    }

    // The newest line is drawn at the bottom; lines scrolled back to stay in
    // sight while newer ones come and older ones go.
    void followsTheNewestUnlessScrolledBack()
    {
        TStatusLogView view;
        view.SetMaximumLines(100);
        view.resize(400, 10 * view.fontMetrics().lineSpacing() + 2 * view.frameWidth());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.AppendLines(Numbered(1, 50));
        const int rows = view.viewport()->height() / view.fontMetrics().lineSpacing();
        QCOMPARE(view.verticalScrollBar()->value(), 50 - rows);
        QVERIFY(RowHasInk(view, rows - 1));
        view.Clear();
        QVERIFY(!RowHasInk(view, 0));
        view.AppendLines(Numbered(1, 100));
        view.verticalScrollBar()->setValue(10); // line 11 at the top
        view.AppendLines(Numbered(101, 105)); // lines 1-5 dropped
        QCOMPARE(view.verticalScrollBar()->value(), 5); // still line 11
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        view.AppendLines(Numbered(106, 106));
        QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    }

    void selectsAndCopiesWholeLines()
    {
        TStatusLogView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.AppendLines(Numbered(1, 5));
        const int height = view.fontMetrics().lineSpacing();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(20, height + height / 2));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(20, 3 * height + height / 2));
        QCOMPARE(view.SelectedText(), Numbered(2, 4).join('\n'));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), Numbered(2, 4).join('\n'));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.SelectedText(), view.Text());
    }
};

QTEST_MAIN(TestStatusLogView)
#include "tst_statuslogview.moc"

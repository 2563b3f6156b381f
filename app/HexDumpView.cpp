#include "HexDumpView.h"

#include "content/HexDump.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int Margin = 6;

} // namespace

THexDumpView::THexDumpView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void THexDumpView::SetData(const QByteArray& data)
{
    FData = data;
    FRows = HexDumpRowCount(FData.size());
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

int THexDumpView::RowHeight() const
{
    return fontMetrics().lineSpacing();
}

int THexDumpView::VisibleRows() const
{
    return qMax(1, (viewport()->height() - Margin) / RowHeight());
}

qsizetype THexDumpView::FirstVisibleRow() const
{
    return verticalScrollBar()->value();
}

void THexDumpView::UpdateScrollBars()
{
    verticalScrollBar()->setRange(0, int(qMax<qsizetype>(0, FRows - VisibleRows())));
    verticalScrollBar()->setPageStep(VisibleRows());
    const int rowWidth = fontMetrics().horizontalAdvance(QString(HexDumpRowChars, u'0')) + 2 * Margin;
    horizontalScrollBar()->setRange(0, qMax(0, rowWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void THexDumpView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void THexDumpView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Down:
        bar->setValue(bar->value() + 1);
        break;
    case Qt::Key_Up:
        bar->setValue(bar->value() - 1);
        break;
    case Qt::Key_PageDown:
        bar->setValue(bar->value() + bar->pageStep());
        break;
    case Qt::Key_PageUp:
        bar->setValue(bar->value() - bar->pageStep());
        break;
    case Qt::Key_Home:
        bar->setValue(0);
        break;
    case Qt::Key_End:
        bar->setValue(bar->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void THexDumpView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype first = FirstVisibleRow();
    const QStringList rows
        = HexDumpRows(FData, first, VisibleRows() + 1).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const int x = Margin - horizontalScrollBar()->value();
    int y = Margin + fontMetrics().ascent();
    for (const QString& row : rows) {
        painter.drawText(x, y, row);
        y += RowHeight();
    }
}

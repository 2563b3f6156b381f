#include "HexDumpView.h"

#include "content/HexDump.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int Margin = 6;

} // namespace

THexDumpView::THexDumpView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void THexDumpView::SetData(const QByteArray& data)
{
    FData = data;
    FRows = HexDumpRowCount(FData.size());
    FAnchorRow = FCurrentRow = -1;
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

qsizetype THexDumpView::SelectionFirstRow() const
{
    return FCurrentRow < 0 ? 0 : qMin(FAnchorRow, FCurrentRow);
}

qsizetype THexDumpView::SelectionLastRow() const
{
    return FCurrentRow < 0 ? -1 : qMax(FAnchorRow, FCurrentRow);
}

void THexDumpView::SelectRows(qsizetype anchor, qsizetype current)
{
    if (FRows == 0) {
        FAnchorRow = FCurrentRow = -1;
    } else {
        FAnchorRow = qBound<qsizetype>(0, anchor, FRows - 1);
        FCurrentRow = qBound<qsizetype>(0, current, FRows - 1);
    }
    viewport()->update();
}

QString THexDumpView::SelectedText() const
{
    const qsizetype first = SelectionFirstRow(), last = SelectionLastRow();
    return last < first ? QString() : HexDumpRows(FData, first, last - first + 1);
}

void THexDumpView::CopySelection() const
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

qsizetype THexDumpView::RowAt(const QPoint& point) const
{
    const qsizetype row = FirstVisibleRow() + qMax(0, point.y() - Margin) / RowHeight();
    return row < FRows ? row : -1;
}

void THexDumpView::ScrollToRow(qsizetype row)
{
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(int(row));
    else if (row >= bar->value() + VisibleRows())
        bar->setValue(int(row - VisibleRows() + 1));
}

void THexDumpView::MoveCurrentRow(qsizetype row, bool extend)
{
    if (FRows == 0)
        return;
    row = qBound<qsizetype>(0, row, FRows - 1);
    SelectRows(extend && FAnchorRow >= 0 ? FAnchorRow : row, row);
    ScrollToRow(row);
}

void THexDumpView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectRows(0, FRows - 1);
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const qsizetype current = FCurrentRow < 0 ? FirstVisibleRow() : FCurrentRow;
    const int page = VisibleRows();
    switch (event->key()) {
    case Qt::Key_Down:
        MoveCurrentRow(FCurrentRow < 0 ? current : current + 1, extend);
        break;
    case Qt::Key_Up:
        MoveCurrentRow(current - 1, extend);
        break;
    case Qt::Key_PageDown:
        MoveCurrentRow(current + page, extend);
        break;
    case Qt::Key_PageUp:
        MoveCurrentRow(current - page, extend);
        break;
    case Qt::Key_Home:
        MoveCurrentRow(0, extend);
        break;
    case Qt::Key_End:
        MoveCurrentRow(FRows - 1, extend);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void THexDumpView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype row = RowAt(event->position().toPoint());
    MoveCurrentRow(row < 0 ? FRows - 1 : row, event->modifiers() & Qt::ShiftModifier);
}

void THexDumpView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || FAnchorRow < 0)
        return;
    // Dragging past the top or bottom edge scrolls on by a row.
    const int y = event->position().toPoint().y();
    qsizetype row;
    if (y < 0)
        row = FirstVisibleRow() - 1;
    else if (y >= viewport()->height())
        row = FirstVisibleRow() + VisibleRows();
    else
        row = RowAt(event->position().toPoint());
    MoveCurrentRow(row < 0 && y >= 0 ? FRows - 1 : row, true);
}

void THexDumpView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction("Kopyala", this, &THexDumpView::CopySelection);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    copy->setShortcutVisibleInContextMenu(true);
    copy->setEnabled(SelectionLastRow() >= 0);
    QAction* all = menu.addAction(QString::fromUtf8("Tümünü Seç"), this, [this] { SelectRows(0, FRows - 1); });
    all->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    all->setShortcutVisibleInContextMenu(true);
    all->setEnabled(FRows > 0);
    menu.exec(event->globalPos());
}

void THexDumpView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const qsizetype first = FirstVisibleRow();
    const QStringList rows
        = HexDumpRows(FData, first, VisibleRows() + 1).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const int x = Margin - horizontalScrollBar()->value();
    const qsizetype selFirst = SelectionFirstRow(), selLast = SelectionLastRow();
    int top = Margin;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const qsizetype row = first + i;
        const bool selected = row >= selFirst && row <= selLast;
        if (selected)
            painter.fillRect(QRect(0, top, viewport()->width(), RowHeight()), palette().color(QPalette::Highlight));
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(x, top + fontMetrics().ascent(), rows[i]);
        top += RowHeight();
    }
}

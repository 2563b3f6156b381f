#include "StatusLogView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int Margin = 4; // pixels left of the text, as a text box keeps

} // namespace

TStatusLogView::TStatusLogView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    UpdateScrollBars();
}

void TStatusLogView::SetMaximumLines(int lines)
{
    FMaximumLines = qMax(1, lines);
}

void TStatusLogView::AppendLines(const QStringList& texts)
{
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    for (const QString& text : texts)
        for (const QString& line : text.split(u'\n')) {
            FLines.push_back(line);
            FLongestLine = qMax(FLongestLine, int(line.size()));
        }
    // The oldest lines go; a selection and a view scrolled back keep to the
    // lines they were on.
    const int dropped = qMax(0, int(FLines.size()) - FMaximumLines);
    FLines.erase(FLines.begin(), FLines.begin() + dropped);
    if (FAnchor >= 0) {
        FAnchor = qMax(0, FAnchor - dropped);
        FCurrent = qMax(0, FCurrent - dropped);
    }
    const int top = bar->value() - dropped;
    UpdateScrollBars();
    bar->setValue(following ? bar->maximum() : qMax(0, top));
    viewport()->update();
    emit LinesAdded();
}

void TStatusLogView::Clear()
{
    FLines.clear();
    FLongestLine = 0;
    FAnchor = FCurrent = -1;
    UpdateScrollBars();
    viewport()->update();
}

QString TStatusLogView::Text() const
{
    return QStringList(FLines.begin(), FLines.end()).join(u'\n');
}

QString TStatusLogView::SelectedText() const
{
    if (FAnchor < 0 || FLines.empty())
        return {};
    const int first = qMin(FAnchor, FCurrent), last = qMin(qMax(FAnchor, FCurrent), LineCount() - 1);
    return QStringList(FLines.begin() + first, FLines.begin() + last + 1).join(u'\n');
}

void TStatusLogView::SelectAll()
{
    if (FLines.empty())
        return;
    FAnchor = 0;
    FCurrent = LineCount() - 1;
    viewport()->update();
}

int TStatusLogView::RowHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int TStatusLogView::VisibleRows() const
{
    return qMax(1, viewport()->height() / RowHeight());
}

int TStatusLogView::LineAt(int y) const
{
    return qBound(0, verticalScrollBar()->value() + y / RowHeight(), qMax(0, LineCount() - 1));
}

void TStatusLogView::UpdateScrollBars()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, qMax(0, LineCount() - VisibleRows()));
    bar->setPageStep(VisibleRows());
    QScrollBar* across = horizontalScrollBar();
    // Measured by characters: shaping every line that comes costs more than
    // the whole log's drawing.
    const int widest = FLongestLine * fontMetrics().averageCharWidth();
    across->setRange(0, qMax(0, widest + 2 * Margin - viewport()->width()));
    across->setPageStep(viewport()->width());
    across->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

void TStatusLogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const int rowHeight = RowHeight();
    const int first = verticalScrollBar()->value();
    const int last = qMin(LineCount() - 1, first + VisibleRows());
    const int x = Margin - horizontalScrollBar()->value();
    const int ascent = fontMetrics().ascent();
    // Only the characters that can reach the viewport's right edge are laid out.
    const int shown
        = (horizontalScrollBar()->value() + viewport()->width()) * 2 / qMax(1, fontMetrics().averageCharWidth()) + 8;
    const int selectedFirst = FAnchor < 0 ? -1 : qMin(FAnchor, FCurrent);
    const int selectedLast = FAnchor < 0 ? -2 : qMax(FAnchor, FCurrent);
    for (int line = first; line <= last; ++line) {
        const int y = (line - first) * rowHeight;
        const bool selected = line >= selectedFirst && line <= selectedLast;
        if (selected)
            painter.fillRect(0, y, viewport()->width(), rowHeight, palette().highlight());
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QString& text = FLines[size_t(line)];
        painter.drawText(x, y + ascent, text.size() > shown ? text.left(shown) : text);
    }
}

void TStatusLogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool following = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    UpdateScrollBars();
    if (following)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TStatusLogView::mousePressEvent(QMouseEvent* event)
{
    if (FLines.empty() || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const int line = LineAt(event->position().toPoint().y());
    if (!(event->modifiers() & Qt::ShiftModifier) || FAnchor < 0)
        FAnchor = line;
    FCurrent = line;
    viewport()->update();
}

void TStatusLogView::mouseMoveEvent(QMouseEvent* event)
{
    if (FAnchor < 0 || !(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    FCurrent = LineAt(event->position().toPoint().y());
    viewport()->update();
}

void TStatusLogView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        return CopySelection();
    if (event->matches(QKeySequence::SelectAll))
        return SelectAll();
    QAbstractScrollArea::keyPressEvent(event);
}

void TStatusLogView::contextMenuEvent(QContextMenuEvent* event)
{
    // Qt's own texts for these, in the interface's language.
    QMenu menu(this);
    QAction* copy = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "&Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(FAnchor >= 0 && !FLines.empty());
    connect(copy, &QAction::triggered, this, [this] { CopySelection(); });
    menu.addSeparator();
    QAction* all = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "Select All"));
    all->setShortcut(QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, &TStatusLogView::SelectAll);
    menu.exec(event->globalPos());
}

void TStatusLogView::CopySelection() const
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

#include "RestartWarningDelegate.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>

namespace {

int SignSize(const QStyleOptionViewItem& option)
{
    return qMax(10, option.fontMetrics.height() - 2);
}

} // namespace

void TRestartWarningDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool warned = !index.data(RestartWarningsRole).toStringList().isEmpty();
    QStyleOptionViewItem text(option);
    const int size = SignSize(option);
    // The row's right end, or the visible one when the row is wider than the list.
    int right = option.rect.right();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        right = qMin(right, view->viewport()->width() - 1);
    if (warned)
        text.rect.setRight(right - size - 4); // the text never runs under the sign
    QStyledItemDelegate::paint(painter, text, index);
    if (!warned)
        return;
    // A filled triangle with an exclamation mark.
    const QRectF box(right - size - 1, option.rect.center().y() - size / 2.0, size, size);
    QPainterPath triangle;
    triangle.moveTo(box.center().x(), box.top());
    triangle.lineTo(box.bottomRight());
    triangle.lineTo(box.bottomLeft());
    triangle.closeSubpath();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(triangle, RestartWarningColor);
    painter->setPen(QPen(Qt::white, qMax(1.5, size / 8.0)));
    painter->drawLine(
        QPointF(box.center().x(), box.top() + size * 0.35), QPointF(box.center().x(), box.top() + size * 0.7));
    painter->drawPoint(QPointF(box.center().x(), box.top() + size * 0.85));
    painter->restore();
}

QSize TRestartWarningDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant widest = index.data(WidestRowRole);
    const QModelIndex measured = widest.isValid() ? index.siblingAtRow(widest.toInt()) : index;
    QSize size = QStyledItemDelegate::sizeHint(option, measured.isValid() ? measured : index);
    size.rwidth() += SignSize(option) + 4;
    return size;
}

#pragma once
// The tool-change panel's rows: drawn as the list draws them, and a row whose
// restart check found warnings gets a warning sign at its right end. The row's
// text stays as it is; the warnings are its tooltip.
#include <QStyledItemDelegate>

// A row's restart warnings (QStringList); empty or unset: none.
constexpr int RestartWarningsRole = Qt::UserRole + 1;
// The warning sign's colour, for the pixel tests.
inline const QColor RestartWarningColor(215, 40, 20);

class TRestartWarningDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

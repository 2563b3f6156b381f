#pragma once
// The tool-change panel's rows: drawn as the list draws them, and a row whose
// restart check found warnings gets a warning sign at its right end. The row's
// text stays as it is; the warnings are its tooltip. A model that names its
// widest row (WidestRowRole) gets that row's size for every row, so that a
// view sizing its rows alike never measures them all.
#include "document/ToolChangeListModel.h"

#include <QStyledItemDelegate>
// The warning sign's colour, for the pixel tests.
inline const QColor RestartWarningColor(215, 40, 20);

class TRestartWarningDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

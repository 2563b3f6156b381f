#pragma once
// The "Takım Yolu" panel beside the editor: its caption, the buttons that
// choose the view's direction and fit the path, and the view itself.
#include "ToolpathView.h"

#include <QToolButton>
#include <QWidget>

class TToolpathPanel : public QWidget {
    Q_OBJECT
public:
    explicit TToolpathPanel(QWidget* parent = nullptr);

    TToolpathView* View() const { return FView; }
    QToolButton* DirectionButton(TViewDirection direction) const;
    QToolButton* FitButton() const { return FFit; }

private:
    TToolpathView* FView;
    QToolButton* FDirections[4];
    QToolButton* FFit;
};

#pragma once
// A paint area whose drawing is done by its owner (the main window's
// PaintBoxDeviceInfoPaint).
#include <QPainter>
#include <QWidget>

#include <functional>

class TDeviceInfoPaintBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (OnPaint)
            OnPaint(painter);
    }
};

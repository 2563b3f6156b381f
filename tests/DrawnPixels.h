#pragma once
// Colours as a widget really draws them: the widget is grabbed and its pixels
// are read, so a colour set on a role the widget does not draw with is caught.
#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

inline int CountDrawnPixels(QWidget* widget, const std::function<bool(const QColor&)>& matches)
{
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (matches(image.pixelColor(x, y)))
                ++count;
    return count;
}

// Text in the success green (0, 128, 0), its antialiased edges included.
inline bool IsSuccessGreen(const QColor& c)
{
    return c.green() >= 80 && c.green() - qMax(c.red(), c.blue()) >= 60;
}

// Text, signs or lines in a warning red.
inline bool IsWarningRed(const QColor& c)
{
    return c.red() >= 170 && c.green() <= 90 && c.blue() <= 70;
}

// The darkest pixel drawn: the colour of the text itself on a light background.
inline QColor DarkestDrawnPixel(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    QColor darkest(Qt::white);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QColor c = image.pixelColor(x, y); c.lightness() < darkest.lightness())
                darkest = c;
    return darkest;
}

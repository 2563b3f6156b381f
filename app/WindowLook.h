#pragma once
// The main window's look, written once: the success green of a finished
// transfer and its read-back line, and the sizes the window and its panels
// open with until the operator's own are stored.
#include <QColor>
#include <QPalette>

inline const QColor SuccessGreen(0, 128, 0);

// The grey of secondary text: most of the way from the background to the text,
// as readable as a desktop's grey text. Qt's grey for disabled controls is too
// pale to read a transfer's progress by.
inline QColor GreyText(const QPalette& palette)
{
    const QColor text = palette.color(QPalette::WindowText), back = palette.color(QPalette::Base);
    auto mix = [](int t, int b) { return (t * 57 + b * 43) / 100; };
    return QColor(mix(text.red(), back.red()), mix(text.green(), back.green()), mix(text.blue(), back.blue()));
}

constexpr int WindowWidth = 1055;
constexpr int WindowHeight = 674;
constexpr int ToolBarHeight = 80; // the tool bar's row, as the form lays it out
constexpr int DevicesPanelWidth = 449;
constexpr int DeviceInfoPanelHeight = 281;
constexpr int ToolChangesPanelWidth = 245;
// What the editor, the device list (its status values readable) and the
// toolpath keep when the toolpath panel takes its place in a narrow window.
constexpr int MinEditorWidth = 260;
constexpr int MinDevicesPanelWidth = 330;
constexpr int MinToolpathPanelWidth = 200;

#pragma once
// The status log as the window shows it: the latest lines, drawn only where
// they are in sight, one line per row without wrapping. New lines come in
// batches; each batch costs one repaint, however many lines it holds. Whole
// lines can be selected with the mouse or Ctrl+A and copied with Ctrl+C.
#include <QAbstractScrollArea>
#include <QStringList>

#include <deque>

class TStatusLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TStatusLogView(QWidget* parent = nullptr);

    // Keeps this many of the latest lines.
    void SetMaximumLines(int lines);
    // Adds the texts' lines (a text holding line feeds adds several).
    void AppendLines(const QStringList& texts);
    void Clear();

    int LineCount() const { return int(FLines.size()); }
    QString Text() const; // every line, joined by line feeds
    QString SelectedText() const;
    void SelectAll();

signals:
    void LinesAdded(); // once per batch

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int RowHeight() const;
    int VisibleRows() const;
    int LineAt(int y) const;
    void UpdateScrollBars();
    void CopySelection() const;

    std::deque<QString> FLines;
    int FMaximumLines = 5000;
    int FLongestLine = 0; // characters, of the lines added so far
    // The selected lines, from the anchor to the current one; -1: none.
    int FAnchor = -1, FCurrent = -1;
};

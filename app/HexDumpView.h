#pragma once
// The read-only hex dump of a raw capture or CMT file in the editor's place.
// It draws only the rows in view, so a capture of any size shows at once.
// Rows are selected with the mouse (drag, Shift+click) or the keyboard
// (Shift with the arrow and page keys, Ctrl+A); Ctrl+C copies them as the
// dump's text, each row with its CR LF.
#include <QAbstractScrollArea>
#include <QByteArray>

class THexDumpView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit THexDumpView(QWidget* parent = nullptr);
    void SetData(const QByteArray& data);
    const QByteArray& Data() const { return FData; }
    qsizetype FirstVisibleRow() const;

    // The selected rows [first, last], or first > last when none is selected.
    qsizetype SelectionFirstRow() const;
    qsizetype SelectionLastRow() const;
    void SelectRows(qsizetype anchor, qsizetype current);
    QString SelectedText() const;
    void CopySelection() const;
    // The row under a point of the viewport; -1 below the last row.
    qsizetype RowAt(const QPoint& point) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void UpdateScrollBars();
    int RowHeight() const;
    int VisibleRows() const;
    void MoveCurrentRow(qsizetype row, bool extend);
    void ScrollToRow(qsizetype row);

    QByteArray FData;
    // Rows are counted in units of the scroll bar, which holds an int.
    qsizetype FRows = 0;
    qsizetype FAnchorRow = -1;
    qsizetype FCurrentRow = -1;
};

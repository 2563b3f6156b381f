#pragma once
// The read-only hex dump of a raw capture or CMT file in the editor's place.
// It draws only the rows in view, so a capture of any size shows at once.
#include <QAbstractScrollArea>
#include <QByteArray>

class THexDumpView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit THexDumpView(QWidget* parent = nullptr);
    void SetData(const QByteArray& data);
    const QByteArray& Data() const { return FData; }
    qsizetype FirstVisibleRow() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateScrollBars();
    int RowHeight() const;
    int VisibleRows() const;

    QByteArray FData;
    // Rows are counted in units of the scroll bar, which holds an int.
    qsizetype FRows = 0;
};

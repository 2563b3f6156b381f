#pragma once
// The tool-change panel's rows as a list model: the rows of the last scan, or
// the CMT view's information and program rows, made one at a time as a view
// asks for them. Showing a program of hundreds of thousands of tool changes
// costs a view the rows in sight, not one item per row. The restart check's
// warnings arrive later and join the rows they belong to.
#include "content/ToolChangeScanner.h"
#include "content/UnitMazatrolCmt.h"

#include <QAbstractListModel>
#include <QStringList>

#include <functional>

// A row's restart warnings (QStringList); empty or unset: none.
constexpr int RestartWarningsRole = Qt::UserRole + 1;
// The row whose text is the longest (int): a view that sizes every row alike
// measures that one, so that the longest row can be scrolled to its end.
constexpr int WidestRowRole = Qt::UserRole + 2;

class TToolChangeListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // A row shows at most this many characters and an ellipsis: a tool change
    // on a line of many MiB shows the start of it, as the editor does.
    static constexpr qsizetype MaxShownCharacters = 1000;

    using QAbstractListModel::QAbstractListModel;

    // The rows of a scan; Qt::UserRole is a row's line number. The list is
    // shared, not copied.
    void ShowToolChangeRows(const TToolChangeRows& rows);
    // The CMT view's rows; Qt::UserRole is a program's 1-based position, 0 on
    // the information rows.
    void ShowCmtRows(const TCmtInfo& info);
    void Clear();
    bool ShowsCmtRows() const { return FShowsCmt; }

    // The restart checks of the first tool-change rows shown, in their order:
    // a row's warnings, or allClear as its tooltip when it has none. Ignored
    // when there are more than rows.
    void SetRestartWarnings(const QList<QStringList>& warnings, const QString& allClear);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void Reset(const std::function<void()>& change);
    QString RowText(int row) const;
    qint32 RowValue(int row) const;

    TToolChangeRows FRows;
    bool FShowsCmt = false;
    TCmtInfo FCmt;
    qsizetype FCmtRowCount = 0;
    QList<QStringList> FWarnings;
    QString FAllClear;
    int FWidestRow = 0;
};

#include "ToolChangeListModel.h"

#include <limits>

void TToolChangeListModel::Reset(const std::function<void()>& change)
{
    beginResetModel();
    FRows.clear();
    FShowsCmt = false;
    FCmt = TCmtInfo();
    FCmtRowCount = 0;
    FWarnings.clear();
    FWidestRow = 0;
    change();
    endResetModel();
}

void TToolChangeListModel::ShowToolChangeRows(const TToolChangeRows& rows)
{
    Reset([&] {
        FRows = rows;
        // One pass over the lengths: no text is measured or made.
        qsizetype widest = -1;
        for (qsizetype row = 0; row < FRows.size(); ++row) {
            const qsizetype length = qMin(FRows.TextLength(row), MaxShownCharacters + 1);
            if (length > widest) {
                widest = length;
                FWidestRow = int(row);
            }
        }
    });
}

void TToolChangeListModel::ShowCmtRows(const TCmtInfo& info)
{
    Reset([&] {
        FShowsCmt = true;
        FCmt = info;
        FCmtRowCount = CmtViewRowCount(info);
        // The head rows are measured as they are; of the program rows, the
        // one with the most characters in its variable parts stands for them.
        qsizetype widest = -1;
        for (qsizetype row = 0; row < qMin(FCmtRowCount, CmtViewHeadRows); ++row) {
            if (RowText(int(row)).size() > widest) {
                widest = RowText(int(row)).size();
                FWidestRow = int(row);
            }
        }
        qsizetype longestProgram = -1, longest = -1;
        for (qsizetype k = 0; FCmtRowCount > CmtViewHeadRows && k < FCmt.Programs.size(); ++k) {
            const TCmtProgram& program = FCmt.Programs[k];
            const qsizetype length = qMax<qsizetype>(4, DecimalWidth(program.WorkNo)) + program.Description.size()
                + DecimalWidth(program.DataBlocks);
            if (length > longest) {
                longest = length;
                longestProgram = k;
            }
        }
        if (longestProgram >= 0 && RowText(int(CmtViewHeadRows + longestProgram)).size() > widest)
            FWidestRow = int(CmtViewHeadRows + longestProgram);
    });
}

void TToolChangeListModel::Clear()
{
    Reset([] {});
}

void TToolChangeListModel::SetRestartWarnings(const QList<QStringList>& warnings, const QString& allClear)
{
    if (FShowsCmt || warnings.isEmpty() || warnings.size() > FRows.size())
        return;
    FWarnings = warnings;
    FAllClear = allClear;
    emit dataChanged(index(0), index(rowCount() - 1), { RestartWarningsRole, Qt::ToolTipRole });
}

int TToolChangeListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    // A view counts its rows in int: more are not shown.
    return int(qMin<qsizetype>(FShowsCmt ? FCmtRowCount : FRows.size(), std::numeric_limits<int>::max()));
}

QString TToolChangeListModel::RowText(int row) const
{
    if (FShowsCmt)
        return CmtViewRowAt(FCmt, row).Text;
    const QString text = FRows.Text(row);
    return text.size() > MaxShownCharacters ? text.left(MaxShownCharacters) + QChar(0x2026) : text;
}

qint32 TToolChangeListModel::RowValue(int row) const
{
    return FShowsCmt ? CmtViewRowAt(FCmt, row).Value : FRows.LineNumber(row);
}

QVariant TToolChangeListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return RowText(row);
    case Qt::UserRole:
        return RowValue(row);
    case RestartWarningsRole:
        return row < FWarnings.size() ? QVariant(FWarnings[row]) : QVariant();
    case Qt::ToolTipRole:
        if (row >= FWarnings.size())
            return {};
        return FWarnings[row].isEmpty() ? FAllClear : FWarnings[row].join('\n');
    case WidestRowRole:
        return FWidestRow;
    default:
        return {};
    }
}

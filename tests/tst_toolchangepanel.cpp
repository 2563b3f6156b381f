// The tool-change panel's rows through its model: the scan's rows and the CMT
// view's rows as the list shows them, the restart warnings joining their rows,
// the widest row standing for all, and a list of 400,000 tool changes shown by
// asking for the rows in sight only.
#include "app/ToolChangePanel.h"
#include "content/UnitMazatrolCmt.h"
#include "device/ProgramTransfer.h"

#include <QAbstractItemModelTester>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QTest>

namespace {

// Rows of the given lines, the first on line 3 at offset 0, each two lines
// and ten characters after the one before.
TToolChangeRows Rows(const QList<QByteArray>& lines)
{
    TToolChangeRows rows;
    for (const QByteArray& line : lines)
        rows.Append(qint32(rows.size() * 2 + 3), rows.size() * 10, line);
    return rows;
}

// One CMT program: its header (work number, description), data blocks and end.
QByteArray CmtProgram(qint64 workNo, const QByteArray& description, int dataBlocks)
{
    QByteArray header = "1100" + QByteArray(10, ' ') + QByteArray::number(workNo).rightJustified(8, '0') + "    "
        + QByteArray::number(description.size(), 16).rightJustified(2, '0').toUpper() + description;
    QByteArray frames = BuildCmtFrame(header);
    for (int block = 0; block < dataBlocks; ++block)
        frames += BuildCmtFrame("1500");
    return frames + BuildCmtFrame("1200");
}

// Counts the texts a view asks for.
class TCountingProxy : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DisplayRole)
            ++TextsAsked;
        return QIdentityProxyModel::data(index, role);
    }
    mutable int TextsAsked = 0;
};

} // namespace

class TestToolChangePanel : public QObject {
    Q_OBJECT

private slots:
    void toolChangeRows()
    {
        TToolChangeListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QByteArray hugeLine = "T3 M6 " + QByteArray(5000, 'X');
        const QString huge = QString::fromUtf8("Satır 5, bayt 10: ") + QString::fromLatin1(hugeLine);
        model.ShowToolChangeRows(Rows({ "T1 M6", hugeLine, "short" }));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0).data().toString(), QString::fromUtf8("Satır 3, bayt 0: T1 M6"));
        QCOMPARE(model.index(2).data(Qt::UserRole).toInt(), 7);
        // A row of a huge line shows its start and an ellipsis.
        const QString shown = model.index(1).data().toString();
        QCOMPARE(shown.size(), TToolChangeListModel::MaxShownCharacters + 1);
        QVERIFY(shown.startsWith(huge.left(100)) && shown.endsWith(QChar(0x2026)));
        QCOMPARE(model.index(2).data(WidestRowRole).toInt(), 1);
        // No warnings and no tooltip until the check has run.
        QVERIFY(!model.index(0).data(RestartWarningsRole).isValid());
        QVERIFY(!model.index(0).data(Qt::ToolTipRole).isValid());

        // The check's answers join their rows; more answers than rows are not the rows' own.
        model.SetRestartWarnings({ {}, { "A", "B" }, {}, {} }, "clear");
        QVERIFY(!model.index(1).data(RestartWarningsRole).isValid());
        model.SetRestartWarnings({ {}, { "A", "B" } }, "clear");
        QCOMPARE(model.index(0).data(Qt::ToolTipRole).toString(), QString("clear"));
        QCOMPARE(model.index(1).data(RestartWarningsRole).toStringList(), QStringList({ "A", "B" }));
        QCOMPARE(model.index(1).data(Qt::ToolTipRole).toString(), QString("A\nB"));
        QVERIFY(!model.index(2).data(Qt::ToolTipRole).isValid()); // not checked

        // New rows drop the old answers.
        model.ShowToolChangeRows(Rows({ "x" }));
        QCOMPARE(model.rowCount(), 1);
        QVERIFY(!model.index(0).data(RestartWarningsRole).isValid());
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // The CMT view's rows are CmtViewRows' rows, and the row named widest is
    // as long as the longest of them, whether a head row or a program row.
    void cmtRows_data()
    {
        QTest::addColumn<QByteArray>("programs");
        QTest::newRow("short programs: a head row is widest") << CmtProgram(7, "PART-A", 1) + CmtProgram(8, "B", 2);
        QTest::newRow("one long description among many")
            << CmtProgram(1, "A", 1) + CmtProgram(2, "A LONG DESCRIPTION OF A PART", 1) + CmtProgram(3, "BB", 1);
        QTest::newRow("a long work number against a longer description")
            << CmtProgram(12345678, "ABC", 1) + CmtProgram(5, "ABCDEFGH", 1);
        QTest::newRow("many data blocks")
            << CmtProgram(5, "ABCDEFGHIJKLMNOPQRSTU", 1) + CmtProgram(6, "ABCDEFGHIJKLMNOPQRST", 12);
        QTest::newRow("no program") << QByteArray();
    }

    void cmtRows()
    {
        QFETCH(QByteArray, programs);
        TCmtInfo info;
        QVERIFY(ParseCmt(BuildCmtFrame("3117,0,0") + programs + CmtEot, info));
        TToolChangeListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.ShowToolChangeRows(Rows({ "a", "b" }));
        model.ShowCmtRows(info);
        QVERIFY(model.ShowsCmtRows());
        const QList<TCmtViewRow> expected = CmtViewRows(info);
        QCOMPARE(model.rowCount(), expected.size());
        qsizetype longest = 0;
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(model.index(row).data().toString(), expected[row].Text);
            QCOMPARE(model.index(row).data(Qt::UserRole).toInt(), expected[row].Value);
            longest = qMax(longest, expected[row].Text.size());
        }
        const int widest = model.index(0).data(WidestRowRole).toInt();
        QCOMPARE(expected[widest].Text.size(), longest);
        model.SetRestartWarnings({ { "A" } }, "clear"); // the CMT rows have no restart check
        QVERIFY(!model.index(0).data(RestartWarningsRole).isValid());
    }

    // Only the tool changes the device can start from are checked: each
    // check runs the program up to its point, and a program of 400,000 tool
    // changes would keep a core busy for hours.
    void restartChecksForTheStartPoints()
    {
        QLabel caption;
        QListView list;
        TToolChangePanel panel(&caption, &list);
        QByteArray text = "G21 G90 G54\n";
        for (int change = 0; change < MaxStartFromEntries + 5; ++change)
            text += "T1 M6\nS1000 M3\nG0 X0 Y0 Z5\nG1 Z-1 F100\nG0 Z5\n";
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes(text + "M30\n", false);
        panel.ShowToolChangeRows(document);
        const TToolChangeListModel* rows = panel.Model();
        QCOMPARE(rows->rowCount(), MaxStartFromEntries + 5);
        QTRY_VERIFY(rows->index(0).data(RestartWarningsRole).isValid());
        QVERIFY(rows->index(MaxStartFromEntries - 1).data(RestartWarningsRole).isValid());
        QVERIFY(!rows->index(MaxStartFromEntries).data(RestartWarningsRole).isValid());
        QVERIFY(!rows->index(MaxStartFromEntries).data(Qt::ToolTipRole).isValid());
    }

    // 400,000 tool changes: showing them, scrolling to the end and drawing
    // asks for the texts of the rows in sight and of the widest row, not for
    // every row.
    void manyRowsAskForTheRowsInSight()
    {
        QLabel caption("Takım Listesi ve Konumları");
        QListView list;
        TToolChangePanel panel(&caption, &list);
        TCountingProxy counting;
        counting.setSourceModel(panel.Model());
        list.setModel(&counting); // the panel's delegate and row sizes stay
        list.resize(245, 400);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        constexpr int RowCount = 400000;
        TToolChangeRows rows;
        for (int row = 0; row < RowCount; ++row)
            rows.Append(row * 2 + 1, row * 14,
                "T" + QByteArray::number(row % 99) + " M6" + (row == RowCount / 2 ? QByteArray(60, 'X') : ""));
        panel.Model()->ShowToolChangeRows(rows);
        QCOMPARE(counting.rowCount(), RowCount);
        QCoreApplication::processEvents(); // the list lays its rows out
        list.grab();
        list.scrollToBottom();
        QCoreApplication::processEvents();
        list.grab();
        QVERIFY2(counting.TextsAsked < 2000, qPrintable(QString::number(counting.TextsAsked)));
        QVERIFY(list.viewport()->rect().contains(list.visualRect(counting.index(RowCount - 1, 0)).topLeft()));
        // The longest row can be scrolled to its end.
        const int widestText = list.fontMetrics().horizontalAdvance(rows.Text(RowCount / 2));
        QVERIFY(list.horizontalScrollBar()->maximum() + list.viewport()->width() >= widestText);
    }
};

QTEST_MAIN(TestToolChangePanel)
#include "tst_toolchangepanel.moc"

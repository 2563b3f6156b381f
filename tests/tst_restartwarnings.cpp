// The tool-change panel's restart warnings on the offscreen platform: the sign
// is drawn (read from the pixels) only on a row with warnings, the row's text
// stays as it is, and the warnings become the row's tooltip once the check of
// the opened program has run.
#include "DrawnPixels.h"
#include "ScriptedPrompter.h"
#include "app/RestartWarningDelegate.h"
#include "app/unitmainform.h"
#include "tests/support/FormWidget.h"
#include "toolpath/RestartCheck.h"

#include <QListView>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

int WarningPixelsInRow(QAbstractItemView* list, int row)
{
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    const QImage image = list->viewport()->grab(rect).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsWarningRed(image.pixelColor(x, y)))
                ++count;
    return count;
}

} // namespace

class TestRestartWarnings : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
    }

    void SignOnlyOnWarnedRows()
    {
        QListWidget list;
        list.setItemDelegate(new TRestartWarningDelegate(&list));
        list.resize(400, 120);
        for (const char* text : { "Satır 2, bayt 10: T1 M6", "Satır 9, bayt 80: T2 M6" })
            list.addItem(QString::fromUtf8(text));
        list.item(1)->setData(
            RestartWarningsRole, QStringList { "Birim seçilmiyor (programda bu noktada G21 etkin)." });
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QCOMPARE(WarningPixelsInRow(&list, 0), 0);
        QVERIFY(WarningPixelsInRow(&list, 1) > 20);
        QCOMPARE(list.item(1)->text(), QString::fromUtf8("Satır 9, bayt 80: T2 M6"));
        // The sign stands at the row's right end.
        const QRect rect = list.visualItemRect(list.item(1));
        const QImage image = list.viewport()->grab(rect).toImage();
        int leftmost = image.width();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (IsWarningRed(image.pixelColor(x, y)))
                    leftmost = qMin(leftmost, x);
        QVERIFY(leftmost > image.width() - 40);
    }

    void OpenedProgramGetsItsWarnings()
    {
        TScriptedPrompter prompter;
        TMainFormOptions options;
        options.StatusPort = 0;
        options.StartupDelayMs = 3600000;
        TFormMain window(prompter, options);
        window.resize(1100, 700);
        window.show();
        QFile file(FDir.filePath("two.nc"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("G21 G90 G54\nT1 M6\nS1000 M3\nG0 X0 Y0 Z5\nG1 Z-1 F100\nG0 Z5\nT2 M6\nS800 M3\nG0 X10\n"
                   "G1 Z-1 F50\nM30\n");
        file.close();
        prompter.OpenFiles << file.fileName();
        window.SpeedButtonFileOpenClick();
        window.SpeedButtonScanToolChangesClick(); // the panel shown
        QListView* list = Widget<QListView>(window, "ListBoxToolChanges");
        QCOMPARE(list->model()->rowCount(), 2);
        const auto row = [list](int r) { return list->model()->index(r, 0); };
        const QString firstText = row(0).data().toString();
        QTRY_VERIFY(!row(1).data(RestartWarningsRole).toStringList().isEmpty());
        const QStringList expected { QString::fromUtf8(
                                         "İş koordinat sistemi seçilmiyor (programda bu noktada G54 etkin)."),
            QString::fromUtf8("Mutlak/artışlı mod seçilmiyor (programda bu noktada G90 etkin)."),
            QString::fromUtf8("Birim seçilmiyor (programda bu noktada G21 etkin).") };
        QCOMPARE(row(1).data(RestartWarningsRole).toStringList(), expected);
        QCOMPARE(row(1).data(Qt::ToolTipRole).toString(), expected.join('\n'));
        QVERIFY(row(0).data(RestartWarningsRole).toStringList().isEmpty());
        QCOMPARE(row(0).data(Qt::ToolTipRole).toString(), QString::fromUtf8(RestartAllClear));
        QCOMPARE(row(0).data().toString(), firstText);
        QVERIFY(list->isVisible());
        QVERIFY(WarningPixelsInRow(list, 1) > 20);
        QCOMPARE(WarningPixelsInRow(list, 0), 0);
    }
};

QTEST_MAIN(TestRestartWarnings)
#include "tst_restartwarnings.moc"

// The program document without widgets: opening in every line-break style,
// downloads in each mode, saving, unsaved edits and the upload preparation.
#include "content/ProgramText.h"
#include "content/UnitMazatrolCmt.h"
#include "document/ProgramDocument.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <tuple>

#include "LineBreakCases.h"

// A command run on a document: the file is one it may open.
using TDocumentCommand = std::function<void(TProgramDocument&, const QString& file)>;

class TestProgramDocument : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void lineBreakStyles_data() { AddLineBreakRows(); }

    void lineBreakStyles()
    {
        // Word spaces start afresh at every line break: the ';' comment of the
        // second line ends there, whatever the file's style.
        QFETCH(QByteArray, lineBreak);
        QFETCH(int, rowOffset);
        QFETCH(int, candidateOffset);
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes(LineBreakProgram(lineBreak), false);
        QCOMPARE(document.Lines(), LineBreakProgramLines());
        QCOMPARE(document.ToolChangeRows().size(), 1);
        QCOMPARE(document.ToolChangeRows().Text(0), QString::fromUtf8("Satır 3, bayt %1: T1 M6").arg(rowOffset));
        QCOMPARE(document.ToolChangeCandidates(), QList<TStartFromCandidate>({ { 3, candidateOffset } }));
        // Saved back in the file's own style.
        QCOMPARE(document.FileBytes(), LineBreakProgramLines().join(QString::fromUtf8(lineBreak)).toUtf8() + lineBreak);

        const TPreparedUpload upload = document.PrepareUpload(false);
        QCOMPARE(upload.Content, LineBreakProgramUpload());
        QCOMPARE(upload.Candidates, QList<TStartFromCandidate>({ { 4, 10 } }));
        QCOMPARE(PrepareFileForUpload(LineBreakProgram(lineBreak), false).Content, LineBreakProgramUpload());
    }

    void siemensKeepsTheText()
    {
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes("N10G0X5\r\n%_N_MAIN_MPF\r\n", true);
        QCOMPARE(document.Lines(), QStringList({ "N10G0X5", "%_N_MAIN_MPF" }));
        QCOMPARE(document.PrepareUpload(true).Content, QByteArray("%\r\nN10G0X5\r\n%_N_MAIN_MPF\r\n%\r\n"));
    }

    void blankLinesAtOpenAndOnScan()
    {
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes("G0 X0\n\nT2 M6\n", false);
        // Dropped while loading: one new document, CR LF from then on.
        QCOMPARE(document.Lines(), QStringList({ "G0 X0", "T2 M6" }));
        QCOMPARE(document.LineBreak(), TLineBreakStyle::CrLf);
        QCOMPARE(store.UndoSteps(), 0);
        QVERIFY(!document.IsModified());

        document.SetText("G0 X0\n\nT2 M6", TTextReplace::NewDocument);
        document.ScanToolChanges();
        QCOMPARE(document.Lines(), QStringList({ "G0 X0", "T2 M6" }));
        QCOMPARE(store.UndoSteps(), 1); // a later scan is one undoable step
        QVERIFY(!document.IsModified());
        QCOMPARE(document.ToolChangeCandidates(), QList<TStartFromCandidate>({ { 2, 0 } }));
    }

    void downloads_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("isRaw");
        QTest::addColumn<bool>("siemens");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("program") << QByteArray("N1G0X0 % (A)\r\n") << false << false << int(TDocumentMode::Text)
                                 << QStringList({ "N1 G0 X0", "%", "(A)" });
        QTest::newRow("siemens") << QByteArray("N1G0X0\n%_N_PART_MPF\n") << false << true << int(TDocumentMode::Text)
                                 << QStringList({ "N1G0X0", "%_N_PART_MPF" });
        QTest::newRow("raw") << QByteArray("\x01\x02"
                                           "ABC",
            5) << true << false
                             << int(TDocumentMode::RawCapture) << QStringList();
        const QByteArray block = BuildCmtFrame("3117,0,0") + CmtEot;
        QTest::newRow("cmt") << block << false << false << int(TDocumentMode::Cmt) << QStringList();
        // Looks like CMT data but holds no complete block: kept as text, not lost.
        QTest::newRow("broken cmt") << QByteArray("\x02"
                                                  "ABCDE\x03\x04",
            8) << false << false << int(TDocumentMode::Text)
                                    << QStringList({ QString::fromLatin1("\x02"
                                                                         "ABCDE\x03\x04") });
    }

    void downloads()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, isRaw);
        QFETCH(bool, siemens);
        QFETCH(int, mode);
        QFETCH(QStringList, lines);
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes("old text", false);
        QString error;
        QVERIFY(document.SaveFile(FDir.filePath("old.nc"), error));
        document.TakeDownload(content, isRaw, siemens);
        QCOMPARE(int(document.Mode()), mode);
        QVERIFY(document.FileName().isEmpty());
        if (document.Mode() == TDocumentMode::Text) {
            QCOMPARE(document.Lines(), lines);
            QCOMPARE(document.LineBreak(), TLineBreakStyle::CrLf);
        } else {
            QCOMPARE(document.Content(), content);
            QCOMPARE(document.FileBytes(), content);
            QVERIFY(!document.IsBlank());
            QVERIFY(store.Lines().isEmpty());
        }
    }

    void unsavedEdits()
    {
        const QString file = FDir.filePath("edits.nc");
        TPlainTextStore store;
        TProgramDocument document(store);
        QVERIFY(!document.IsModified());
        document.SetText("G0 X1\r\n", TTextReplace::OperatorEdit);
        QVERIFY(document.IsModified());
        QString error;
        QVERIFY(document.SaveFile(file, error));
        QVERIFY(!document.IsModified());
        document.PrepareUpload(false); // normalising is no edit of the operator's
        QVERIFY(!document.IsModified());
        document.New();
        QVERIFY(!document.IsModified());
        QVERIFY(document.FileName().isEmpty());

        QVERIFY(!document.OpenFile(FDir.filePath("missing.nc"), false, error));
        QVERIFY(!error.isEmpty());
    }

    // Every command that changes the text, the mode or the rows announces it
    // once, when it is over: what a view reads then is the final state (a
    // command made of others, such as Open, does not announce halfway).
    void changesAnnounced_data()
    {
        QTest::addColumn<TDocumentCommand>("command");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("announcements"); // one per command the row runs
        const QByteArray cmt = BuildCmtFrame("3117,0,0") + CmtEot;
        const int text = int(TDocumentMode::Text);
        QTest::newRow("new") << TDocumentCommand([](TProgramDocument& d, const QString&) { d.New(); }) << text << 0
                             << false << 1;
        QTest::newRow("open") << TDocumentCommand([](TProgramDocument& d, const QString& file) {
            QString error;
            QVERIFY(d.OpenFile(file, false, error));
        }) << text << 1 << true
                              << 1;
        QTest::newRow("open missing") << TDocumentCommand([](TProgramDocument& d, const QString& file) {
            QString error;
            QVERIFY(!d.OpenFile(file + ".missing", false, error));
        }) << text << 1 << false << 1;
        QTest::newRow("open bytes, cmt") << TDocumentCommand(
            [cmt](TProgramDocument& d, const QString&) { d.OpenBytes(cmt, false); })
                                         << int(TDocumentMode::Cmt) << 0 << false << 1;
        QTest::newRow("download, raw") << TDocumentCommand(
            [](TProgramDocument& d, const QString&) { d.TakeDownload("\x01\x02", true, false); })
                                       << int(TDocumentMode::RawCapture) << 0 << false << 1;
        QTest::newRow("download, program") << TDocumentCommand([](TProgramDocument& d, const QString&) {
            d.TakeDownload("T2 M6\r\nT3 M6\r\n", false, false);
        }) << text << 2 << false << 1;
        QTest::newRow("cmt view") << TDocumentCommand(
            [cmt](TProgramDocument& d, const QString&) { d.ShowCmtFile(cmt); })
                                  << int(TDocumentMode::Cmt) << 0 << false << 1;
        QTest::newRow("scan") << TDocumentCommand([](TProgramDocument& d, const QString&) {
            d.SetText("T1 M6\r\n\r\nT2 M6", TTextReplace::OperatorEdit);
            d.ScanToolChanges();
        }) << text << 2 << false
                              << 2;
        QTest::newRow("upload") << TDocumentCommand([](TProgramDocument& d, const QString&) {
            d.SetText("t1 m6\r\nT2 M6", TTextReplace::OperatorEdit);
            d.PrepareUpload(false);
        }) << text << 2 << false << 2;
        QTest::newRow("leave cmt") << TDocumentCommand([cmt](TProgramDocument& d, const QString&) {
            d.ShowCmtFile(cmt);
            d.LeaveSpecialMode();
        }) << text << 0 << false << 2;
    }

    void changesAnnounced()
    {
        QFETCH(TDocumentCommand, command);
        QFETCH(int, mode);
        QFETCH(int, rows);
        QFETCH(bool, named);
        QFETCH(int, announcements);
        const QString file = FDir.filePath("announced.nc");
        QString error;
        QVERIFY(WriteWholeFile(file, "G0 X1\nT1 M6\n", error));
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes("T9 M6\n", false);
        QList<std::tuple<int, qsizetype, QString>> seen;
        connect(&document, &TProgramDocument::Changed, this, [&] {
            seen.append({ int(document.Mode()), document.ToolChangeRows().size(), document.FileName() });
        });
        const int before = seen.size();
        command(document, file);
        QCOMPARE(seen.size() - before, announcements);
        QCOMPARE(std::get<0>(seen.last()), mode);
        QCOMPARE(std::get<1>(seen.last()), qsizetype(rows));
        QCOMPARE(std::get<2>(seen.last()), named ? file : QString());
    }

    void openKeepsEncodingForSaving()
    {
        const QByteArray bytes = "\xEF\xBB\xBFG0 X1 (\xC3\xBC)\nM30\n";
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes(bytes, false);
        QCOMPARE(document.Encoding(), TTextEncoding::Utf8);
        QCOMPARE(document.FileBytes(), bytes);
        document.New(); // the encoding and mark of the last file read stay
        document.SetText(QString::fromUtf8("ü"), TTextReplace::OperatorEdit);
        QCOMPARE(document.FileBytes(), QByteArray("\xEF\xBB\xBF\xC3\xBC"));
    }
};

QTEST_GUILESS_MAIN(TestProgramDocument)
#include "tst_programdocument.moc"

// Large files load in pieces, decoded on a worker while the store takes the
// piece before. Whatever the cut, the document must end up exactly as if the
// file had been read whole: text, encoding, breaks, saved bytes and scan.
#include "content/CodePage.h"
#include "document/PieceLoad.h"
#include "document/ProgramDocument.h"

#include <QTest>

namespace {

// A store that tells how the text came in: in pieces, or replaced whole
// after the pieces.
class TCountingStore : public TPlainTextStore {
public:
    void ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how) override
    {
        ReplacedAfterLoad = ReplacedAfterLoad || (Loads > 0 && !FLoading);
        TPlainTextStore::ReplaceText(std::move(utf8), shown, how);
    }
    void BeginText(TLineBreakStyle shown, qsizetype sizeHint) override
    {
        FLoading = true;
        ++Loads;
        TPlainTextStore::BeginText(shown, sizeHint);
    }
    void AppendText(QByteArrayView utf8) override
    {
        ++Pieces;
        TPlainTextStore::AppendText(utf8);
    }
    void EndText() override { FLoading = false; }
    // Its text is a copy, as the editor's is: the document then hands a
    // worker the text as it was loaded.
    bool SharesText() const override { return false; }
    int Loads = 0, Pieces = 0;
    bool ReplacedAfterLoad = false;

private:
    bool FLoading = false;
};

struct TOpened {
    QByteArray Text, FileBytes;
    TTextEncoding Encoding;
    bool Modified;
    QStringList Rows;
    QList<TStartFromCandidate> Candidates;
    QByteArray Announced; // the text a worker is handed while the opening is announced
};

TOpened Open(const QByteArray& bytes, bool siemens, qsizetype pieceBytes, TCountingStore& store)
{
    TProgramDocument document(store);
    document.SetLoadPieceBytes(pieceBytes);
    QByteArray announced;
    QObject::connect(
        &document, &TProgramDocument::Changed, [&] { announced = JoinTextPieces(document.Utf8TextPieces()); });
    document.OpenBytes(bytes, siemens);
    TOpened opened { store.Text(), document.FileBytes(), document.Encoding(), document.IsModified(), {},
        document.ToolChangeCandidates(), announced };
    for (qsizetype row = 0; row < document.ToolChangeRows().size(); ++row)
        opened.Rows.append(document.ToolChangeRows().Text(row));
    return opened;
}

QByteArray Repeat(const QByteArray& block, int times)
{
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += block;
    return text;
}

} // namespace

class TestPieceLoad : public QObject {
    Q_OBJECT
private slots:
    void sameAsReadingWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inPieces"); // false: the whole way must finish it
        QTest::addColumn<int>("rows");
        const QByteArray program = "N10G0X1.5Y2\r\nT1 M6\r\nG1X10F200(CUT 1)\r\nT02M06\r\nM30\r\n";
        QTest::newRow("CR LF") << Repeat(program, 3) << true << 6;
        QTest::newRow("CR LF, no final break") << Repeat(program, 3).chopped(2) << true << 6;
        QTest::newRow("LF") << QByteArray("G1X1\nT1 M6\nG0X2\nT2M6\nM30") << true << 2;
        QTest::newRow("CR") << QByteArray("G1X1\rT1 M6\rG0X2\rT2M6\r") << true << 2;
        QTest::newRow("CR LF, blank lines") << QByteArray("G1\r\n\r\nT1 M6\r\n  \r\nG2\r\nT3M6\r\n\r\n") << true << 2;
        QTest::newRow("CR LF, blank lines at the end") << QByteArray("A1\r\nT1 M6\r\n\r\n\r\n") << true << 1;
        QTest::newRow("CR LF, blank lines only") << QByteArray("\r\n  \r\n\t\r\n") << true << 0;
        QTest::newRow("LF, blank lines") << QByteArray("G1\n\nT1 M6\nG2\n \nT2M6\n") << false << 2;
        QTest::newRow("CR LF, then a lone LF") << QByteArray(Repeat(program, 2) + "T5M6\nG1\r\n") << false << 5;
        QTest::newRow("CR LF with blank lines, then a lone LF")
            << QByteArray("A\r\n\r\nB\r\nT1 M6\r\n\r\nC\r\nT2 M6\nD\r\n\r\n") << false << 2;
        QTest::newRow("line separator") << QByteArray("T1 M6\xE2\x80\xA8G1X1\r\n;c\r\nT2M6\r\n") << false << 2;
        QTest::newRow("two programs") << QByteArray("O1\r\nT1 M6\r\nM30\r\nO2\r\nT2 M6\r\nM30\r\n") << true << 0;
        QTest::newRow("code page letters") << QByteArray("(\xDE"
                                                         "AFT \xDD\xDE\xC7\xDD)\r\nT1 M6\r\nG1X1\r\n(\xFE\xF0)T2M6\r\n")
                                           << true << 2;
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF(ŞAFT)\r\nT1 M6\r\nG1X1\r\n(ığ)T2M6\r\n") << true
                                         << 2;
        QTest::newRow("UTF-8, bad sequence") << QByteArray("(ŞAFT \xC3)\r\nT1 M6\r\nG1\r\n") << true << 1;
        QTest::newRow("UTF-16") << QByteArray::fromRawData("\xFF\xFET\0"
                                                           "1\0 \0M\0"
                                                           "6\0\r\0\n\0G\0"
                                                           "1\0\r\0\n\0",
            24) << true << 1;
        QTest::newRow("comments and expressions")
            << QByteArray("#1=[2*3]G1X#1\r\n(T1 M6)\r\nG1X2;T3 M6\r\n\"A1B\"T4M6\r\n") << true << 3;
    }

    // Every piece size from one byte up cuts the file at every possible place.
    void sameAsReadingWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inPieces);
        QFETCH(int, rows); // tool changes found with word spaces
        for (const bool siemens : { false, true }) {
            TCountingStore wholeStore;
            const TOpened whole = Open(bytes, siemens, bytes.size() + 1, wholeStore);
            if (!siemens)
                QCOMPARE(whole.Rows.size(), rows);
            QCOMPARE(wholeStore.Pieces, 0); // read whole
            QCOMPARE(whole.Announced, whole.Text);
            for (qsizetype piece = 1; piece <= bytes.size(); ++piece) {
                TCountingStore store;
                const TOpened opened = Open(bytes, siemens, piece, store);
                const QByteArray where = QByteArray(QTest::currentDataTag()) + " siemens " + QByteArray::number(siemens)
                    + " piece " + QByteArray::number(piece);
                QVERIFY2(opened.Text == whole.Text, where + ": " + opened.Text.toHex() + " != " + whole.Text.toHex());
                QVERIFY2(opened.Announced == whole.Text, where + ": " + opened.Announced.toHex());
                QVERIFY2(opened.FileBytes == whole.FileBytes, where);
                QVERIFY2(opened.Encoding == whole.Encoding, where);
                QVERIFY2(!opened.Modified, where);
                QVERIFY2(opened.Rows == whole.Rows, where + ": " + opened.Rows.join('|').toUtf8());
                QVERIFY2(opened.Candidates == whole.Candidates, where);
                // A text the pieces can tell stays as it came in piece by
                // piece; otherwise the whole way replaces it.
                if (piece == 1) { // a piece per line
                    QVERIFY2((store.Loads == 1 && !store.ReplacedAfterLoad) == inPieces, where);
                    QVERIFY2(!inPieces || rows == 0 || store.Pieces > 1, where);
                }
            }
        }
    }

    // A large program as the window opens one: many pieces, the file's bytes
    // given back as they are read, and the same document as reading it whole.
    void largeProgram()
    {
        QByteArray program;
        for (int i = 0; program.size() < 5 * LoadPieceBytes; ++i)
            program += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 97) + ".5Y2\r\n"
                + (i % 1000 == 0 ? "T" + QByteArray::number(i / 1000 + 1) + " M6\r\n" : QByteArray())
                + (i % 5000 == 7 ? "\r\n" : QByteArray());
        TCountingStore whole, pieces;
        const TOpened expected = Open(program, false, program.size() + 1, whole);
        const TOpened opened = Open(program, false, LoadPieceBytes, pieces);
        QVERIFY(pieces.Pieces >= 5 && !pieces.ReplacedAfterLoad);
        QCOMPARE(opened.Text.size(), expected.Text.size());
        QVERIFY(opened.Text == expected.Text);
        QVERIFY(opened.Announced == expected.Text);
        QCOMPARE(opened.Rows, expected.Rows);
        QCOMPARE(opened.Candidates, expected.Candidates);
        QVERIFY(opened.Candidates.size() > 20);
    }

    // A file that cannot be read leaves the open document as it was.
    void unreadableFileKeepsTheDocument()
    {
        TPlainTextStore store;
        TProgramDocument document(store);
        document.OpenBytes("G1X1\r\nT1 M6\r\n", false);
        QString error;
        QVERIFY(!document.OpenFile("/nonexistent/program.nc", false, error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(store.Text(), QByteArray("G1 X1\r\nT1 M6"));
        QCOMPARE(document.ToolChangeRows().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPieceLoad)
#include "tst_pieceload.moc"

// The content tools over real programs from public projects.
#include "content/EditorText.h"
#include "content/ProgramSplitter.h"
#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "content/TextUtil.h"
#include "content/ToolChangeScanner.h"
#include "document/ProgramDocument.h"
#include "tests/support/ReferencePaths.h"

#include <QDirIterator>
#include <QProcess>
#include <QTest>

#include "TestUtil.h"

namespace {

TTextDocument ReadDocument(const QString& path)
{
    QByteArray bytes;
    QString error;
    if (!ReadWholeFile(path, bytes, error))
        qFatal("%s: %s", qPrintable(path), qPrintable(error));
    return ReadTextDocument(bytes);
}

// Tool-change lines as grep -P finds them, trimmed, in file order.
QStringList GrepToolChangeLines(const QString& path, TTextEncoding encoding)
{
    QProcess grep;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    grep.setProcessEnvironment(env);
    grep.start("grep", { "-P", "--text", "(?=.*\\bT\\d+\\b)(?=.*\\bM0*6\\b)", path });
    if (!grep.waitForFinished(60000))
        qFatal("grep did not finish");
    const QByteArray out = grep.readAllStandardOutput();
    QStringList lines;
    for (const QByteArray& line : out.split('\n'))
        lines << TrimLow(DecodeText(line, encoding, false)).toString();
    lines.removeLast(); // after the last line feed
    return lines;
}

} // namespace

class TestCorpus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUILLEX_REQUIRE_CORPUS();
        QVERIFY(CorpusFiles().size() > 50);
    }

    void scannerAgreesWithGrep()
    {
        int total = 0;
        for (const QString& path : CorpusFiles()) {
            const TTextDocument document = ReadDocument(path);
            const TToolChangeScan scan = ScanToolChangeLines(document.Lines, LineBreakText(document.LineBreak).size());
            if (scan.MultipleProgramNumbers)
                continue;
            QStringList found;
            for (qsizetype row = 0; row < scan.Rows.size(); ++row)
                found << scan.Rows.Text(row).section(": ", 1);
            const QStringList grepped = GrepToolChangeLines(path, document.Encoding);
            QVERIFY2(found == grepped, qPrintable(path + ": " + found.join(" | ") + " <> " + grepped.join(" | ")));
            total += found.size();
        }
        QVERIFY(total > 20); // the corpus holds real tool changes
    }

    void editorTextIsTheLinesJoined()
    {
        // The one-pass reader against the file's lines read one by one,
        // word-spaced and joined by the shown break.
        for (const QString& path : CorpusFiles()) {
            QByteArray bytes;
            QString error;
            QVERIFY(ReadWholeFile(path, bytes, error));
            TTextDocument document = ReadTextDocument(bytes);
            for (QString& line : document.Lines)
                line = InsertWordSpaces(line);
            const TEditorText text = ReadEditorText(bytes, true);
            QVERIFY2(text.Utf8 == JoinUtf8Lines(document.Lines, ShownLineBreak(document.LineBreak)), qPrintable(path));
            QCOMPARE(text.LineBreak, document.LineBreak);
            QCOMPARE(text.TrailingLineBreak, document.TrailingLineBreak);
        }
    }

    void openingInPiecesIsOpeningWhole()
    {
        // Every program opened in small pieces, as a large file opens, gives
        // the document reading it whole gives.
        for (const QString& path : CorpusFiles()) {
            QByteArray file;
            QString error;
            QVERIFY(ReadWholeFile(path, file, error));
            for (const bool siemens : { false, true }) {
                TPlainTextStore wholeStore, piecesStore;
                TProgramDocument whole(wholeStore), pieces(piecesStore);
                whole.SetLoadPieceBytes(file.size());
                pieces.SetLoadPieceBytes(4096);
                whole.OpenBytes(file, siemens);
                pieces.OpenBytes(file, siemens);
                QVERIFY2(piecesStore.Text() == wholeStore.Text(), qPrintable(path));
                QVERIFY2(pieces.FileBytes() == whole.FileBytes(), qPrintable(path));
                QVERIFY2(pieces.ToolChangeCandidates() == whole.ToolChangeCandidates(), qPrintable(path));
                QCOMPARE(pieces.ToolChangeRows().size(), whole.ToolChangeRows().size());
                for (qsizetype i = 0; i < whole.ToolChangeRows().size(); ++i)
                    QCOMPARE(pieces.ToolChangeRows().Text(i), whole.ToolChangeRows().Text(i));
            }
        }
    }

    void candidatesPointIntoUploadBytes()
    {
        // After the upload normalisation the offsets are byte offsets into what
        // the device stores: the row offset starts the tool-change line, the
        // candidate offset the line before it.
        for (const QString& path : CorpusFiles()) {
            QByteArray file;
            QString error;
            QVERIFY(ReadWholeFile(path, file, error));
            TPlainTextStore store;
            TProgramDocument document(store);
            document.OpenBytes(file, false);
            const TPreparedUpload upload = document.PrepareUpload(false);
            const QStringList lines = document.Lines();
            const TToolChangeRows& rows = document.ToolChangeRows();
            const QByteArray& bytes = upload.Content;
            QCOMPARE(upload.Candidates.size(), rows.size());
            for (qsizetype i = 0; i < upload.Candidates.size(); ++i) {
                const TStartFromCandidate& c = upload.Candidates[i];
                const qsizetype lineIndex = c.LineNumber - 1;
                const qint64 rowOffset = rows.Text(i).section(", bayt ", 1).section(':', 0, 0).toLongLong();
                QVERIFY(bytes.mid(rowOffset).startsWith(lines[lineIndex].toLatin1() + "\r\n"));
                const QString previous = lineIndex > 0 ? lines[lineIndex - 1] : lines[0];
                QVERIFY(bytes.mid(c.UncompressedOffset).startsWith(previous.toLatin1() + "\r\n"));
                QVERIFY(c.UncompressedOffset == 0 || bytes[c.UncompressedOffset - 1] == '\n');
            }
        }
    }

    void splitterKeepsEveryLine()
    {
        int programs = 0;
        for (const QString& path : CorpusFiles()) {
            const QStringList lines = ReadDocument(path).Lines;
            const QList<TSplitProgram> split = SplitPrograms(lines);
            qsizetype first = 0;
            while (first < lines.size() && !IsProgramStartLine(lines[first]))
                ++first;
            QStringList expected = lines.mid(first);
            if (!expected.isEmpty() && TrimLow(expected.last()) == u"%")
                expected.removeLast();
            for (QString& line : expected)
                line.replace(':', 'O');
            QStringList joined;
            for (const TSplitProgram& program : split) {
                QCOMPARE(program.Lines.first(), QString("%"));
                QCOMPARE(program.Lines.last(), QString("%"));
                QCOMPARE(program.Lines[1], program.Name);
                joined += program.Lines.mid(1, program.Lines.size() - 2);
            }
            QCOMPARE(joined, expected);
            programs += split.size();
        }
        QVERIFY(programs > 0);
    }

    void documentsRoundTrip()
    {
        for (const QString& path : CorpusFiles()) {
            QByteArray bytes;
            QString error;
            QVERIFY(ReadWholeFile(path, bytes, error));
            const TTextDocument document = ReadTextDocument(bytes);
            const qsizetype crlf = bytes.count("\r\n"), cr = bytes.count('\r'), lf = bytes.count('\n');
            if (cr != 0 && lf != 0 && (cr != crlf || lf != crlf))
                continue; // mixed line breaks are written back in one style
            QVERIFY2(WriteTextDocument(document) == bytes, qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

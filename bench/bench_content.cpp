// Content tools against the standard tools doing the same job, measured in
// one run, each pair in turns.
#include "BenchUtil.h"

#include "content/CodePage.h"
#include "content/EditorText.h"
#include "content/HexDump.h"
#include "content/TextDocument.h"
#include "content/TextSearch.h"
#include "content/ToolChangeScanner.h"
#include "content/UnitGCodeHighlighter.h"
#include "tests/support/ReferencePaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

constexpr qsizetype ProgramLines = 1000000;
constexpr qsizetype Size32MiB = 32 * 1024 * 1024;

// A 1,000,000-line program made of the corpus programs, without their
// program-number lines (a text with several would not be scanned at all).
QStringList BuildProgram(const QString& corpus)
{
    QStringList lines;
    const QStringList files = CorpusFiles(corpus);
    RequireCorpus(corpus, files);
    while (lines.size() < ProgramLines) {
        const qsizetype before = lines.size();
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QString& line : ReadTextDocument(file.readAll()).Lines) {
                if (IsProgramNumberLine(line) || line.trimmed().isEmpty())
                    continue;
                lines << line;
                if (lines.size() == ProgramLines)
                    return lines;
            }
        }
        if (lines.size() == before)
            RequireCorpus(corpus, {}); // no usable line in the whole corpus
    }
    return lines;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString corpus = argc > 1 ? argv[1] : QStringLiteral(QUILLEX_GCODE_DATA);
    QTemporaryDir dir;

    // (a) tool-change scan ÷ ripgrep
    const QStringList program = BuildProgram(corpus);
    const QString programFile = dir.filePath("program.nc");
    WriteBenchFile(programFile, EncodeAnsi(JoinTextLines(program, TLineBreakStyle::CrLf, true)));
    qsizetype found = 0;
    const TPairs scan = TakePairs([&] { found = ScanToolChangeLines(program, 2).Rows.size(); },
        Command("rg", { "-P", "(?=.*\\bT\\d+\\b)(?=.*\\bM0*6\\b)", programFile }));
    std::printf("scanner: %lld lines, %lld tool changes\n", qlonglong(program.size()), qlonglong(found));
    PrintPairs("(a) tool-change scan of 1,000,000 lines / rg -P", scan, 1.5);

    // (b) hex dump of 32 MiB ÷ hexdump -C
    QByteArray binary(Size32MiB, Qt::Uninitialized);
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
    const QString binaryFile = dir.filePath("capture.bin");
    WriteBenchFile(binaryFile, binary);
    PrintPairs("(b) HexDumpText of 32 MiB / hexdump -C",
        TakePairs([&] { HexDumpText(binary); }, Command("hexdump", { "-C", binaryFile })), 1.0);

    // (c) reading a 32 MiB Windows-1254 text document ÷ iconv
    QByteArray text = EncodeAnsi(JoinTextLines(program, TLineBreakStyle::CrLf, true));
    text += QByteArray(" (\xDE\xDD\xD0 \xFE\xFD\xF0)\r\n"); // Turkish letters: read as the ANSI code page
    while (text.size() < Size32MiB)
        text += text.left(Size32MiB - text.size());
    text.prepend("(\xC7\xDD\xDE)\r\n");
    const QString textFile = dir.filePath("program-cp1254.nc");
    WriteBenchFile(textFile, text);
    // Read as a file opens: the file read and decoded into the editor's text
    // in one pass, lines as views into it (no string per line), then freed.
    qsizetype textBytes = 0;
    const TPairs read = TakePairs(
        [&] {
            QByteArray bytes;
            QString error;
            if (!ReadWholeFile(textFile, bytes, error))
                qFatal("%s", qPrintable(error));
            textBytes = ReadEditorText(bytes, false).Utf8.size();
        },
        Command("iconv", { "-f", "cp1254", "-t", "utf-8", textFile }));
    std::printf("text document: %lld bytes, %lld bytes of editor text\n", qlonglong(text.size()), qlonglong(textBytes));
    PrintPairs("(c) reading 32 MiB text into the editor's text / iconv", read, 2.0);

    // (d) tokenizer throughput
    qsizetype tokens = 0;
    const double tokenize = BestSeconds(3, [&] {
        TGCodeTokenizer tokenizer;
        for (const QString& line : program) {
            for (tokenizer.SetLine(line, 0); !tokenizer.GetEol(); tokenizer.Next())
                ++tokens;
        }
    });
    PrintFigure("(d) tokenizer over 1,000,000 lines", program.size() / tokenize, "lines/s", "");

    // (e) find and replace in 32 MiB, the core alone (the window's figures include the editor)
    const QByteArray corpusProgram = BuildCorpusProgram(corpus, Size32MiB);
    const QString corpusFile = dir.filePath("corpus-32MiB.nc");
    WriteBenchFile(corpusFile, corpusProgram);
    const TTextSearch g1({ "G1", true, false, false });
    qsizetype g1Count = 0;
    const TPairs count
        = TakePairs([&] { g1Count = g1.CountMatches(corpusProgram); }, Command("grep", { "-c", "G1", corpusFile }));
    std::printf("text search: %lld matches of G1 in 32 MiB\n", qlonglong(g1Count));
    PrintPairs("(e) counting G1 in 32 MiB / grep -c", count);
    PrintPairs("(f) replace all G1 in 32 MiB, core alone / sed s///g",
        TakePairs([&] { g1.ReplaceAll(corpusProgram, "G01"); }, Command("sed", { "s/G1/G01/g", corpusFile })));
    std::printf("tokens: %lld\n", qlonglong(tokens / 3));
    return 0;
}

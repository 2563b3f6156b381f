#include "ContentCommands.h"

#include "CliOutput.h"

#include "content/HexDump.h"
#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"
#include "content/ToolChangeScanner.h"
#include "content/UnitMazatrolCmt.h"
#include "document/ProgramDocument.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

struct THelp {
    const char* Name;
    const char* Text;
};

const THelp Helps[] = {
    { "scan",
        "Usage: quillex-cli scan FILE|- [--siemens] [--candidates]\n"
        "Opens FILE as the window does (word spaces inserted unless --siemens) and prints the\n"
        "tool-change list, one row per line; --candidates prints LineNumber<TAB>UncompressedOffset.\n"
        "Example: quillex-cli scan O1000.nc --candidates\n" },
    { "split",
        "Usage: quillex-cli split FILE|- [--siemens] [-d DIR]\n"
        "Prints the names of the programs in FILE; -d DIR writes each as NAME.CNC into DIR/Velcarn,\n"
        "as the program list window does (a name used again as NAME (2).CNC, NAME (3).CNC, ...;\n"
        "DIR is made when missing; Velcarn must not exist yet).\n"
        "Example: quillex-cli split backup.txt -d /tmp/programs\n" },
    { "cmt",
        "Usage: quillex-cli cmt FILE|- [--extract K -o OUT|-]\n"
        "Prints the CMT view's rows for a Mazatrol CMT file; --extract writes program K (from 0)\n"
        "as a CMT file of its own.\n"
        "Example: quillex-cli cmt backup.cmt --extract 0 -o part.cmt\n" },
    { "hexdump",
        "Usage: quillex-cli hexdump FILE|-\n"
        "Prints FILE's bytes as the editor's hex dump.\n"
        "Example: quillex-cli hexdump debug_capture.bin\n" },
    { "normalize",
        "Usage: quillex-cli normalize FILE|- [--siemens]\n"
        "Prints exactly the bytes an upload of FILE would send (to a SIEMENS control with --siemens).\n"
        "Example: quillex-cli normalize O1000.nc > O1000.sent\n" },
};

void Write(const QByteArray& bytes)
{
    if (!Report().Json)
        PutStdout(bytes);
}

bool Read(const QString& path, QByteArray& bytes, int& rc)
{
    QString error;
    if (ReadInput(path, bytes, error))
        return true;
    rc = Fail(ExitFailed, "file_error", path + ": " + error);
    return false;
}

int Scan(const TCliArgs& args)
{
    if (args.Args.size() != 1)
        return Usage("scan: FILE expected");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (int rc; !Read(args.Args[0], bytes, rc))
        return rc;
    // Opened as the window opens it (the CMT view has no tool-change rows),
    // but each row goes out as it is found, never gathered: a program of a
    // million tool changes or of one line of many MiB costs its text alone.
    TPlainTextStore store;
    TProgramDocument document(store);
    document.OpenBytesUnscanned(std::move(bytes), args.IsSet("siemens"));
    const QByteArray text = document.Mode() == TDocumentMode::Text ? store.Text() : QByteArray();
    const bool candidates = args.IsSet("candidates");
    QJsonArray array;
    ForEachToolChangeHit(text, document.LineBreakLength(), [&](const TToolChangeHit& hit) {
        if (Report().Json) {
            if (candidates)
                array.append(QJsonObject { { "line", hit.LineNumber }, { "offset", hit.ResumeOffset } });
            else
                array.append(QJsonObject {
                    { "line", hit.LineNumber }, { "text", ToolChangeRowText(hit.LineNumber, hit.Offset, hit.Line) } });
            return true;
        }
        if (candidates)
            return PutStdout(QByteArray::number(hit.LineNumber) + '\t' + QByteArray::number(hit.ResumeOffset) + '\n');
        return PutStdout(ToolChangeRowPrefix(hit.LineNumber, hit.Offset)) && PutStdout(hit.Line.data(), hit.Line.size())
            && PutStdout("\n", 1);
    });
    Report().Fields.insert(candidates ? "candidates" : "rows", array);
    return Succeed(QString());
}

int Split(const TCliArgs& args)
{
    const QString folder = args.Value("d");
    if (args.IsSet("d") && folder.isEmpty())
        return Usage("split: -d needs a folder");
    if (args.Args.size() != 1)
        return Usage("split: FILE expected");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (int rc; !Read(args.Args[0], bytes, rc))
        return rc;
    // The program list window splits the editor's lines after opening: the same here.
    TPlainTextStore store;
    TProgramDocument document(store);
    document.OpenBytes(bytes, args.IsSet("siemens"));
    // Programs as slices of the editor's text, each file written from its slice.
    const QByteArray text = document.Mode() == TDocumentMode::Text ? store.Text() : QByteArray();
    const QList<TProgramSlice> programs = FindPrograms(text);
    QByteArray out;
    QJsonArray names;
    for (const TProgramSlice& program : programs) {
        out += program.Name.toUtf8() + '\n';
        names.append(program.Name);
    }
    Report().Fields.insert("programs", names);
    if (!folder.isEmpty() && !programs.isEmpty()) {
        // The chosen folder is made when missing; the Velcarn folder inside must not
        // exist yet. A folder that cannot be made fails below with the window's message.
        QDir().mkpath(folder);
        QString error;
        if (!SaveAllPrograms(folder, text, programs, error))
            return Fail(ExitFailed, "file_error", error);
        Report().Fields.insert("folder", QDir(folder).filePath(ProgramFolderName));
    }
    Write(out);
    return Succeed(QString());
}

int Cmt(const TCliArgs& args)
{
    const QString extract = args.Value("extract");
    const QString output = args.Value("o");
    if (args.Args.size() != 1 || args.IsSet("extract") != args.IsSet("o") || (args.IsSet("o") && output.isEmpty()))
        return Usage("cmt: FILE, and --extract K together with -o OUT, expected");
    if (Report().Json && output == "-")
        return Usage("cmt: --json needs -o FILE for the program");
    bool ok = true;
    const int index = extract.isEmpty() ? -1 : extract.toInt(&ok);
    if (!ok)
        return Usage("cmt: --extract needs a program number");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (int rc; !Read(args.Args[0], bytes, rc))
        return rc;
    const QString noBlock = args.Args[0] + QString::fromUtf8(": CMT bloğu bulunamadı");
    if (output.isEmpty()) {
        // The CMT view's rows, as a CMT file received from a device shows, each
        // written as it is made: a file may hold millions of programs.
        QJsonArray rows;
        const bool found = ForEachCmtViewRow(bytes, [&rows](const QString& text) {
            if (Report().Json) {
                rows.append(text);
                return true;
            }
            return PutStdout(text.toUtf8() + '\n');
        });
        if (!found)
            return Fail(ExitFailed, "corrupt_data", noBlock);
        Report().Fields.insert("rows", rows);
        return Succeed(QString());
    }
    TCmtInfo info;
    if (!ParseCmt(bytes, info))
        return Fail(ExitFailed, "corrupt_data", noBlock);
    QByteArray program;
    try {
        program = ExtractCmtProgram(info, index);
    } catch (const EQuillexError& e) {
        return Fail(ExitFailed, "corrupt_data", e.Message());
    }
    QString error;
    if (!WriteOutput(output, program, error))
        return Fail(ExitFailed, "file_error", output + ": " + error);
    Report().Fields.insert("program", index);
    Report().Fields.insert("output", output);
    Report().Fields.insert("bytes", program.size());
    return Succeed(QString());
}

int HexDump(const TCliArgs& args)
{
    if (args.Args.size() != 1)
        return Usage("hexdump: FILE expected");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (int rc; !Read(args.Args[0], bytes, rc))
        return rc;
    // The rows go out as they are written, one byte per character, a piece
    // at a time: the dump is about four times the input.
    Report().Fields.insert("bytes", bytes.size());
    if (Report().Json)
        Report().Fields.insert("text", QString::fromLatin1(HexDumpBytes(bytes)));
    else
        HexDumpInPieces(bytes, [](QByteArrayView piece) { return PutStdout(piece.data(), piece.size()); });
    return Succeed(QString());
}

int Normalize(const TCliArgs& args)
{
    if (args.Args.size() != 1)
        return Usage("normalize: FILE expected");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (int rc; !Read(args.Args[0], bytes, rc))
        return rc;
    const QByteArray content = PrepareFileForUpload(std::move(bytes), args.IsSet("siemens")).Content;
    Report().Fields.insert("bytes", content.size());
    // The upload's bytes are one byte per character: Latin-1 keeps them exactly.
    if (Report().Json)
        Report().Fields.insert("text", QString::fromLatin1(content));
    Write(content);
    return Succeed(QString());
}

} // namespace

const char* const ContentCommandsSummary = R"(Content commands (no device needed):
  scan FILE [--siemens] [--candidates]  the tool changes the upload indexes
  split FILE [--siemens] [-d DIR]       the programs of a multi-program text
  cmt FILE [--extract K -o OUT]         a Mazatrol CMT file's programs; cut one out
  hexdump FILE                          the editor's hex dump of a file
  normalize FILE [--siemens]            the exact bytes an upload would send
FILE may be - for standard input.
)";

const char* ContentCommandHelp(const QString& command)
{
    for (const THelp& help : Helps)
        if (command == help.Name)
            return help.Text;
    return nullptr;
}

int RunContentCommand(const TCliArgs& args)
{
    const QString& command = args.Verb;
    int rc = -1;
    if (command == "scan")
        rc = Scan(args);
    else if (command == "split")
        rc = Split(args);
    else if (command == "cmt")
        rc = Cmt(args);
    else if (command == "hexdump")
        rc = HexDump(args);
    else if (command == "normalize")
        rc = Normalize(args);
    return rc;
}

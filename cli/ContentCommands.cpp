#include "ContentCommands.h"

#include "CliOutput.h"

#include "content/HexDump.h"
#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"
#include "content/UnitMazatrolCmt.h"
#include "document/ProgramDocument.h"

#include <cstdio>

namespace {

struct THelp {
    const char* Name;
    const char* Text;
};

const THelp Helps[] = {
    { "scan",
        "Usage: quillex-cli scan FILE [--siemens] [--candidates]\n"
        "Opens FILE as the window does (word spaces inserted unless --siemens) and prints the\n"
        "tool-change list, one row per line; --candidates prints LineNumber<TAB>UncompressedOffset.\n"
        "Example: quillex-cli scan O1000.nc --candidates\n" },
    { "split",
        "Usage: quillex-cli split FILE [-d DIR]\n"
        "Prints the names of the programs in FILE; -d DIR writes each as NAME.CNC into DIR/Velcarn,\n"
        "as the program list window does (a name used again as NAME (2).CNC, NAME (3).CNC, ...).\n"
        "Example: quillex-cli split backup.txt -d /tmp/programs\n" },
    { "cmt",
        "Usage: quillex-cli cmt FILE [--extract K -o OUT]\n"
        "Prints the CMT view's rows for a Mazatrol CMT file; --extract writes program K (from 0)\n"
        "as a CMT file of its own.\n"
        "Example: quillex-cli cmt backup.cmt --extract 0 -o part.cmt\n" },
    { "hexdump",
        "Usage: quillex-cli hexdump FILE\n"
        "Prints FILE's bytes as the editor's hex dump.\n"
        "Example: quillex-cli hexdump debug_capture.bin\n" },
    { "normalize",
        "Usage: quillex-cli normalize FILE [--siemens]\n"
        "Prints exactly the bytes an upload of FILE would send (to a SIEMENS control with --siemens).\n"
        "Example: quillex-cli normalize O1000.nc > O1000.sent\n" },
};

void Write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool Read(const QString& path, QByteArray& bytes)
{
    QString error;
    if (ReadWholeFile(path, bytes, error))
        return true;
    Err(path + ": " + error);
    return false;
}

// Takes a flag out of the arguments; true when it was there.
bool TakeFlag(QStringList& args, const QString& flag)
{
    return args.removeAll(flag) > 0;
}

// Takes "option VALUE"; false on a missing value.
bool TakeValue(QStringList& args, const QString& option, QString& value)
{
    const qsizetype at = args.indexOf(option);
    if (at < 0)
        return true;
    if (at + 1 >= args.size())
        return false;
    value = args[at + 1];
    args.remove(at, 2);
    return true;
}

int Scan(QStringList args)
{
    const bool siemens = TakeFlag(args, "--siemens");
    const bool candidates = TakeFlag(args, "--candidates");
    if (args.size() != 1)
        return Usage("scan: FILE expected");
    QByteArray bytes;
    if (!Read(args[0], bytes))
        return ExitFailed;
    // Opened as the window opens it; the CMT view has no tool-change rows.
    TPlainTextStore store;
    TProgramDocument document(store);
    document.OpenBytes(bytes, siemens);
    QByteArray out;
    if (candidates) {
        for (const TStartFromCandidate& c : document.ToolChangeCandidates())
            out += QByteArray::number(c.LineNumber) + '\t' + QByteArray::number(c.UncompressedOffset) + '\n';
    } else {
        for (const TToolChangeRow& row : document.ToolChangeRows())
            out += row.Text.toUtf8() + '\n';
    }
    Write(out);
    return ExitOk;
}

int Split(QStringList args)
{
    const bool siemens = TakeFlag(args, "--siemens");
    QString folder;
    if (!TakeValue(args, "-d", folder))
        return Usage("split: -d needs a folder");
    if (args.size() != 1)
        return Usage("split: FILE expected");
    QByteArray bytes;
    if (!Read(args[0], bytes))
        return ExitFailed;
    // The program list window splits the editor's lines after opening: the same here.
    TPlainTextStore store;
    TProgramDocument document(store);
    document.OpenBytes(bytes, siemens);
    const QList<TSplitProgram> programs
        = document.Mode() == TDocumentMode::Text ? SplitPrograms(document.Lines()) : QList<TSplitProgram>();
    QByteArray out;
    for (const TSplitProgram& program : programs)
        out += program.Name.toUtf8() + '\n';
    if (!folder.isEmpty() && !programs.isEmpty()) {
        QString error;
        if (!SaveAllPrograms(folder, programs, error)) {
            Err(error);
            return ExitFailed;
        }
    }
    Write(out);
    return ExitOk;
}

int Cmt(QStringList args)
{
    QString extract, output;
    if (!TakeValue(args, "--extract", extract) || !TakeValue(args, "-o", output))
        return Usage("cmt: --extract and -o need values");
    if (args.size() != 1 || extract.isEmpty() != output.isEmpty())
        return Usage("cmt: FILE, and --extract K together with -o OUT, expected");
    bool ok = true;
    const int index = extract.isEmpty() ? -1 : extract.toInt(&ok);
    if (!ok)
        return Usage("cmt: --extract needs a program number");
    QByteArray bytes;
    if (!Read(args[0], bytes))
        return ExitFailed;
    // The CMT view of the document, as a CMT file received from a device shows.
    TPlainTextStore store;
    TProgramDocument document(store);
    if (!document.ShowCmtFile(bytes)) {
        Err(args[0] + QString::fromUtf8(": CMT bloğu bulunamadı"));
        return ExitFailed;
    }
    const TCmtInfo& info = document.CmtInfo();
    if (!output.isEmpty()) {
        try {
            QString error;
            if (!WriteWholeFile(output, ExtractCmtProgram(info, index), error)) {
                Err(output + ": " + error);
                return ExitFailed;
            }
        } catch (const EQuillexError& e) {
            Err(e.Message());
            return ExitFailed;
        }
        return ExitOk;
    }
    QByteArray out;
    for (const TCmtViewRow& row : CmtViewRows(info))
        out += row.Text.toUtf8() + '\n';
    Write(out);
    return ExitOk;
}

int HexDump(const QStringList& args)
{
    if (args.size() != 1)
        return Usage("hexdump: FILE expected");
    QByteArray bytes;
    if (!Read(args[0], bytes))
        return ExitFailed;
    Write(HexDumpText(bytes).toLatin1());
    return ExitOk;
}

int Normalize(QStringList args)
{
    const bool siemens = TakeFlag(args, "--siemens");
    if (args.size() != 1)
        return Usage("normalize: FILE expected");
    QByteArray bytes;
    if (!Read(args[0], bytes))
        return ExitFailed;
    Write(PrepareFileForUpload(bytes, siemens).Content);
    return ExitOk;
}

} // namespace

const char* const ContentCommandsSummary = R"(Content commands (no device needed):
  scan FILE [--siemens] [--candidates]  the tool changes the upload indexes
  split FILE [--siemens] [-d DIR]       the programs of a multi-program text
  cmt FILE [--extract K -o OUT]         a Mazatrol CMT file's programs; cut one out
  hexdump FILE                          the editor's hex dump of a file
  normalize FILE [--siemens]            the exact bytes an upload would send
)";

const char* ContentCommandHelp(const QString& command)
{
    for (const THelp& help : Helps)
        if (command == help.Name)
            return help.Text;
    return nullptr;
}

int RunContentCommand(const QString& command, const QStringList& args)
{
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
    if (rc >= 0 && std::fflush(stdout) != 0)
        return ExitFailed;
    return rc;
}

#include "VerbTable.h"

#include <QRegularExpression>

#include <initializer_list>
#include <utility>

namespace {

QList<TCliOption> MakeOptions()
{
    return {
        { "settings", "", "FILE", {}, "settings file holding the stored PINs\n(default: as the window)" },
        { "pin", "", "PIN", {},
            "the device's transfer PIN; a refused one ends with exit 3.\nIt shows in the process list: prefer "
            "QUILLEX_PIN or --pin-file,\nwhich keep the PIN out of it." },
        { "pin-file", "", "FILE", {}, "read the PIN from the first line of FILE (- for standard input)" },
        { "save-pin", "", "", {},
            "keep the PIN given by --pin, --pin-file or QUILLEX_PIN in the\nsettings file for later runs (without it, "
            "it serves this run only)" },
        { "json", "", "", {},
            "print one JSON object on standard output, whatever the outcome:\n{\"ok\", \"code\", \"message\", ...} "
            "(devices: its array on success)" },
        { "no-status", "", "", {},
            "do not wait for the device's status (upload then needs\n--controller, --hw, --build, --maxfilesize; "
            "--pin-required\nsays the device wants a PIN)" },
        { "pin-required", "", "", {}, "with --no-status: the device wants a PIN" },
        { "progress", "", "MODE", { "auto", "bar", "lines", "none" },
            "auto (default), bar, lines (\"upload 37%\") or none" },
        { "quiet", "q", "", {}, "print only errors and results" },
        { "help", "h", "", {}, "this text; COMMAND --help describes one command" },
        { "version", "", "", {}, "the program's version" },
        { "listen", "", "SECONDS", {}, "how long to listen for status datagrams" },
        { "raw", "", "", {}, "the file's bytes unchanged" },
        { "verify", "", "", {}, "read the stored program back and compare it" },
        { "controller", "", "C", {}, "the device's controller (FANUC, SIEMENS, ...)" },
        { "hw", "", "HW", {}, "the device's hardware (HW2, HW3, HW4)" },
        { "build", "", "N", {}, "the device's firmware build number" },
        { "maxfilesize", "", "BYTES", {}, "the largest program the device stores" },
        { "o", "", "FILE", {}, "write into FILE (- for standard output)" },
        { "d", "", "DIR", {}, "write each program into DIR/Velcarn" },
        { "siemens", "", "", {}, "the text of a SIEMENS control (no word spaces)" },
        { "candidates", "", "", {}, "print LineNumber<TAB>UncompressedOffset" },
        { "extract", "", "K", {}, "write program K (from 0) as a CMT file of its own" },
        { "device", "", "IP|MAC", {}, "the records of one device" },
        { "workstation", "", "HOST", {}, "the records of one computer (its host name)" },
        { "since", "", "DATE", {}, "the records from DATE on" },
        { "limit", "", "N", {}, "the newest N records" },
        { "csv", "", "", {}, "comma-separated values with a header line" },
        { "moves", "", "", {}, "print every move, one line each" },
        { "svg", "", "OUT", {}, "draw the top view into OUT" },
        { "rapid-rate", "", "R", {}, "the rapid rate for the time estimate, units per minute" },
    };
}

QList<TCliVerb> MakeVerbs()
{
    return {
        { "devices", "", "list the devices heard on the network", { "listen" } },
        { "status", "IP", "print a device's status document", { "listen" } },
        { "upload", "IP FILE|-", "send a program (or CMT file) to a device",
            { "raw", "verify", "controller", "hw", "build", "maxfilesize" }, true },
        { "download", "IP", "fetch the stored program or raw capture", { "o" } },
        { "verify", "IP FILE|-", "compare the stored program with what FILE would send", { "raw", "controller" },
            true },
        { "send", "IP [--] COMMAND-LINE...", "send configuration command lines in one batch", {} },
        { "index", "IP", "read the start-from index", {} },
        { "peek", "IP N", "the program lines around start-from point N", {} },
        { "startfrom", "IP N", "play the stored program from point N", {} },
        { "scan", "FILE|-", "the tool changes the upload indexes", { "siemens", "candidates" }, true },
        { "split", "FILE|-", "the programs of a multi-program text", { "siemens", "d" }, true },
        { "cmt", "FILE|-", "a Mazatrol CMT file's programs; cut one out", { "extract", "o" }, true },
        { "hexdump", "FILE|-", "the editor's hex dump of a file", {}, true },
        { "normalize", "FILE|-", "the exact bytes an upload would send", { "siemens" }, true },
        { "history", "", "print the recorded operations", { "device", "workstation", "since", "csv", "limit" } },
        { "machines", "", "the last program sent to each device", {} },
        { "toolpath", "FILE|-", "the toolpath: extents, lengths, time, warnings",
            { "siemens", "moves", "svg", "rapid-rate" }, true },
        { "resume-check", "FILE|-", "the modal state checked at every start-from point", { "siemens" }, true },
    };
}

QString Roff(QString text)
{
    text.replace('\\', "\\\\");
    text.replace('-', "\\-");
    static const QRegularExpression lineStart("^([.'])", QRegularExpression::MultilineOption);
    text.replace(lineStart, "\\&\\1");
    return text;
}

QString OptionWithValue(const TCliOption& option)
{
    QString text = OptionSpelling(option);
    if (!option.Letter.isEmpty())
        text = "-" + option.Letter + ", " + text;
    if (!option.ValueName.isEmpty())
        text += " " + option.ValueName;
    return text;
}

QStringList Spellings(const QStringList& names)
{
    QStringList spellings;
    for (const QString& name : names)
        spellings << OptionSpelling(*FindCliOption(name));
    return spellings;
}

} // namespace

const QList<TCliOption>& CliOptions()
{
    static const QList<TCliOption> options = MakeOptions();
    return options;
}

const TCliOption* FindCliOption(const QString& name)
{
    for (const TCliOption& option : CliOptions())
        if (option.Name == name || option.Letter == name)
            return &option;
    return nullptr;
}

const QStringList& CliGlobalOptions()
{
    static const QStringList names { "settings", "pin", "pin-file", "save-pin", "json", "no-status", "pin-required",
        "progress", "quiet", "help", "version" };
    return names;
}

const QList<TCliVerb>& CliVerbs()
{
    static const QList<TCliVerb> verbs = MakeVerbs();
    return verbs;
}

const TCliVerb* FindCliVerb(const QString& name)
{
    for (const TCliVerb& verb : CliVerbs())
        if (verb.Name == name)
            return &verb;
    return nullptr;
}

QString OptionSpelling(const TCliOption& option)
{
    return (option.Name.size() == 1 ? "-" : "--") + option.Name;
}

QString GlobalOptionsHelp()
{
    QString text;
    for (const QString& name : CliGlobalOptions()) {
        if (name == "pin-required")
            continue; // described with --no-status
        const TCliOption& option = *FindCliOption(name);
        const QStringList lines = option.Description.split('\n');
        text += QString("  %1 %2\n").arg(OptionWithValue(option), -18).arg(lines.first());
        for (const QString& line : lines.mid(1))
            text += QString(21, ' ') + line + "\n";
    }
    return text;
}

QString BashCompletionScript()
{
    QStringList verbs, valueOptions, freeValueOptions, fileOptions, dirOptions;
    QString choices, verbOptions, fileVerbs;
    for (const TCliOption& option : CliOptions()) {
        if (option.ValueName.isEmpty())
            continue;
        const QString spelling = OptionSpelling(option);
        valueOptions << spelling;
        if (!option.Choices.isEmpty())
            choices += QString("        %1)\n            COMPREPLY=($(compgen -W \"%2\" -- \"$cur\"))\n            "
                               "return\n            ;;\n")
                           .arg(spelling, option.Choices.join(' '));
        else if (option.ValueName == "FILE")
            fileOptions << spelling;
        else if (option.ValueName == "DIR")
            dirOptions << spelling;
        else
            freeValueOptions << spelling;
    }
    for (const TCliVerb& verb : CliVerbs()) {
        verbs << verb.Name;
        if (!verb.Options.isEmpty())
            verbOptions
                += QString("        %1) options+=\" %2\" ;;\n").arg(verb.Name, Spellings(verb.Options).join(' '));
        if (verb.FileWords)
            fileVerbs += (fileVerbs.isEmpty() ? "" : " | ") + verb.Name;
    }
    QString script = R"(# bash completion for quillex-cli, made from the program's own table of verbs
# and options: the global options, the commands, each command's options and
# the values of options.
_quillex_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    local commands="@VERBS@"
    local global_options="@GLOBAL@"

    case $prev in
@CHOICES@        @FILEOPTIONS@)
            _filedir
            return
            ;;
        @DIROPTIONS@)
            _filedir -d
            return
            ;;
        @FREEOPTIONS@)
            return
            ;;
    esac
    $split && return

    # The command is the first word that is neither an option nor an option's value.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --) ;;
            @VALUEOPTIONS@) ((i++)) ;;
            -*) ;;
            *)
                command=${words[i]}
                break
                ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$global_options" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options=$global_options
    case $command in
@VERBOPTIONS@    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
        @FILEVERBS@) _filedir ;;
    esac
}
complete -F _quillex_cli quillex-cli
)";
    script.replace("@VERBS@", verbs.join(' '));
    script.replace("@GLOBAL@", Spellings(CliGlobalOptions()).join(' '));
    script.replace("@CHOICES@", choices);
    script.replace("@FILEOPTIONS@", fileOptions.join(" | "));
    script.replace("@DIROPTIONS@", dirOptions.join(" | "));
    script.replace("@FREEOPTIONS@", freeValueOptions.join(" | "));
    script.replace("@VALUEOPTIONS@", valueOptions.join(" | "));
    script.replace("@VERBOPTIONS@", verbOptions);
    script.replace("@FILEVERBS@", fileVerbs);
    return script;
}

QString ManPage(const QString& version, const QString& date, QString (*verbHelp)(const QString& verb))
{
    QString page;
    const auto section = [&](const QString& name) { page += ".SH " + name + "\n"; };
    const auto item
        = [&](const QString& tag, const QString& text) { page += ".TP\n.B " + Roff(tag) + "\n" + Roff(text) + "\n"; };
    page += QString(".TH QUILLEX\\-CLI 1 \"%1\" \"quillex-cli %2\" \"User Commands\"\n").arg(date, Roff(version));
    section("NAME");
    page += "quillex\\-cli \\- Quillex device link and program tools from the shell\n";
    section("SYNOPSIS");
    page += ".B quillex\\-cli\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR ...\n";
    section("DESCRIPTION");
    page += Roff("quillex-cli reaches Quillex devices from the shell, for CAM post-processors and shop scripts, "
                 "with the same device link and content tools as the window. The messages it prints are the "
                 "client's own Turkish texts. Options may stand anywhere; -- ends them.")
        + "\n";
    section("OPTIONS");
    for (const QString& name : CliGlobalOptions()) {
        const TCliOption& option = *FindCliOption(name);
        item(OptionWithValue(option), QString(option.Description).replace('\n', ' '));
    }
    section("COMMANDS");
    page += Roff("IP is a device's IPv4 address, or its name or MacId as the devices command shows them "
                 "(a name two devices share is refused).")
        + "\n";
    for (const TCliVerb& verb : CliVerbs()) {
        page += ".SS " + Roff(verb.Name + (verb.Words.isEmpty() ? "" : " " + verb.Words)) + "\n";
        page += ".nf\n" + Roff(verbHelp(verb.Name)) + ".fi\n";
        if (!verb.Options.isEmpty()) {
            page += ".PP\nIts options:\n";
            for (const QString& name : verb.Options) {
                const TCliOption& option = *FindCliOption(name);
                item(OptionWithValue(option), QString(option.Description).replace('\n', ' '));
            }
        }
    }
    section("TRANSFER PIN");
    page += Roff("A device that wants a PIN gets the caller's: --pin, --pin-file or QUILLEX_PIN, in that order; "
                 "--pin and --pin-file exclude each other. Only that one PIN is tried: a refused one ends with "
                 "exit 3, never replaced by a stored one. Such a PIN serves that run only unless --save-pin "
                 "is given. Without one the PIN stored in the settings file is "
                 "used, else it is asked on the terminal without echo.")
        + "\n";
    section("EXIT STATUS");
    for (const auto& [code, text] : std::initializer_list<std::pair<const char*, const char*>> { { "0", "success" },
             { "1", "the operation failed" }, { "2", "usage error" }, { "3", "PIN missing, cancelled or refused" },
             { "4", "resume-check found warnings or a point it could not check" } })
        item(code, text);
    section("JSON RESULT CODES");
    page += Roff("With --json the object's \"code\" says what happened:") + "\n";
    for (const auto& [code, text] :
        std::initializer_list<std::pair<const char*, const char*>> { { "ok", "success" },
            { "usage", "a usage error (exit 2)" }, { "pin_required", "the device wants a PIN and none was given" },
            { "pin_refused", "the device refused the PIN" }, { "no_status", "no status document from the device" },
            { "status_port", "the status port cannot be opened" },
            { "device_not_found", "no device of the name or MacId was heard" },
            { "connect_failed", "the device could not be reached" }, { "timeout", "the device did not answer" },
            { "network_error", "the connection failed" }, { "device_error", "the device reported an error" },
            { "too_large", "the program exceeds the device's limit" }, { "no_program", "the device holds no program" },
            { "file_error", "a file could not be read or written" }, { "corrupt_data", "the device sent damaged data" },
            { "mismatch", "the read-back differs from what was sent" }, { "verify_failed", "the read-back failed" } })
        item(code, text);
    section("ENVIRONMENT");
    item("QUILLEX_PIN", "the device's transfer PIN, out of the process list");
    item("QUILLEX_SETTINGS", "the settings file to use (--settings wins over it)");
    item("QUILLEX_STATUS_PORT", "listen for status datagrams on this UDP port instead of 5003");
    item("QUILLEX_STATUS_KEY", "the key of the status datagrams, when the devices use another one");
    item("XDG_CONFIG_DIRS", "where the shop's settings for every user are looked for (default /etc/xdg)");
    section("FILES");
    item("~/.config/quillex/quillex_settings.ini",
        "the settings file shared with quillex(1), holding the stored transfer PINs; a portable copy keeps it "
        "beside the executable");
    item("/etc/xdg/quillex/quillex_settings.ini",
        "the shop's settings for every user, below each user's own file (only read)");
    item("~/.config/quillex/pin-master.key", "the key protecting the stored PINs, where no Secret Service runs");
    item("~/.local/share/quillex/history.sqlite", "the transfer history, shared with the window");
    section("EXAMPLES");
    page += ".nf\n"
        + Roff("quillex-cli devices --listen 5\n"
               "quillex-cli upload 192.168.1.20 O1000.nc --verify\n"
               "quillex-cli upload \"Torna 1\" O1000.nc --progress lines\n"
               "QUILLEX_PIN=1234 quillex-cli download 192.168.1.20 -o backup.nc\n"
               "quillex-cli --json index 02:51:58:00:00:02\n"
               "quillex-cli split backup.txt -d /tmp/programs\n"
               "quillex-cli history --since 2026-12-01 --csv > history.csv\n")
        + ".fi\n";
    section("SEE ALSO");
    page += ".BR quillex (1),\n.BR quillex\\-devsim (1)\n";
    return page;
}

#pragma once
// The one table of quillex-cli's verbs and options: the parser takes its
// options and each verb's own from it, and the bash completion and the man
// page are made from it, so that none of them lags the program.
#include <QList>
#include <QString>
#include <QStringList>

struct TCliOption {
    QString Name; // the long name, or the letter of a one-letter option (-o, -d)
    QString Letter; // a one-letter alias (h, q), or empty
    QString ValueName; // FILE, DIR, SECONDS, ...; empty for a flag
    QStringList Choices; // the values it takes, when they are a fixed few
    QString Description; // lines of at most 55 characters
};

struct TCliVerb {
    QString Name;
    QString Words; // what follows the verb: "IP FILE|-"
    QString Summary;
    QStringList Options; // the verb's own options, beyond the global ones
    bool FileWords = false; // its words are files (completed as such)
};

const QList<TCliOption>& CliOptions();
const TCliOption* FindCliOption(const QString& name);
// The options every verb takes.
const QStringList& CliGlobalOptions();
const QList<TCliVerb>& CliVerbs();
const TCliVerb* FindCliVerb(const QString& name);

// "--name" or "-n" as typed.
QString OptionSpelling(const TCliOption& option);
// The global options as --help lists them.
QString GlobalOptionsHelp();
// The bash completion script of quillex-cli.
QString BashCompletionScript();
// The man page quillex-cli(1) in roff; verbHelp gives a verb's --help text.
QString ManPage(const QString& version, const QString& date, QString (*verbHelp)(const QString& verb));

#pragma once
// One parsed quillex-cli command line: the verb, its words and the options,
// wherever they stood.
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

struct TCliArgs {
    QString Verb;
    QStringList Args; // the words after the verb
    const QCommandLineParser* Parser = nullptr;
    quint16 StatusPort = 0; // where the status datagrams are heard, from QUILLEX_STATUS_PORT or the default

    bool IsSet(const QString& option) const { return Parser->isSet(option); }
    QString Value(const QString& option) const { return Parser->value(option); }
};

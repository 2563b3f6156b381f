#pragma once
// The address word of a device verb: an IPv4 address, or a device's name or
// MacId as `quillex-cli devices` shows them (DHCP addresses change, names and
// MacIds stay). What can only be a mistyped address is refused at once.
#include "discovery/UnitStatusListener.h"

#include <QList>
#include <QString>

enum class TAddressWord {
    Ipv4, // an IPv4 address in dotted form
    Device, // a name or MacId, to be found among the devices heard
    Invalid, // no address and no name: a usage error
};

// What word is; for Ipv4 `text` is the address in its plain form ("010.0.0.1"
// gives "10.0.0.1"), for Invalid the reason, for Device the word itself.
TAddressWord ClassifyAddressWord(const QString& word, QString& text);

// The devices the word names: their name as shown (letter case aside) or their
// MacId (letter case and ':' or '-' aside), each address once.
QList<TQuillexDevice> DevicesNamed(const QString& word, const QList<TQuillexDevice>& devices);

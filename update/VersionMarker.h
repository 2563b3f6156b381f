#pragma once
// The version marker: four 16-bit version components that every built
// executable carries as a fixed byte pattern, so that the version of a program
// file can be read from its bytes without running it.
//
// Layout (24 bytes): the 16-byte magic 89 'QLX-VERSION' 0D 0A 1A 0A, then
// major, minor, release and build, each unsigned 16-bit little-endian.
#include <QByteArray>
#include <QString>

struct TVersionComponents {
    quint16 Major = 0;
    quint16 Minor = 0;
    quint16 Release = 0;
    quint16 Build = 0;
};

// The components this executable was built with.
TVersionComponents BuiltVersion();

// "%d.%d.%d.%d".
QString VersionText(const TVersionComponents& version);

// The marker bytes for the given components (tests stamp files with it).
QByteArray VersionMarkerBytes(const TVersionComponents& version);

// Finds the first marker in the file; false when the file cannot be read or
// holds none.
bool ReadVersionMarker(const QString& fileName, TVersionComponents& version);

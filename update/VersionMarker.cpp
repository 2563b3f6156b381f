// Reading and writing the version marker. The magic is taken from this
// executable's own marker at run time, so the pattern occurs once in the file.
#include "VersionMarker.h"

#include <QFile>

#include <cstring>

// Defined in VersionMarkerData.cpp, or by an executable that carries another version.
extern "C" const unsigned char QuillexVersionMarker[24];

namespace {

constexpr qsizetype MagicSize = 16;
constexpr qsizetype MarkerSize = 24;

QByteArrayView Magic()
{
    return QByteArrayView(reinterpret_cast<const char*>(QuillexVersionMarker), MagicSize);
}

quint16 ReadUInt16LE(const uchar* p)
{
    return quint16(p[0] | (p[1] << 8));
}

TVersionComponents ComponentsAt(const uchar* p)
{
    return { ReadUInt16LE(p), ReadUInt16LE(p + 2), ReadUInt16LE(p + 4), ReadUInt16LE(p + 6) };
}

} // namespace

TVersionComponents BuiltVersion()
{
    return ComponentsAt(QuillexVersionMarker + MagicSize);
}

QString VersionText(const TVersionComponents& version)
{
    return QString::asprintf("%d.%d.%d.%d", version.Major, version.Minor, version.Release, version.Build);
}

QByteArray VersionMarkerBytes(const TVersionComponents& version)
{
    QByteArray bytes = Magic().toByteArray();
    for (const quint16 value : { version.Major, version.Minor, version.Release, version.Build }) {
        bytes.append(char(value & 0xFF));
        bytes.append(char(value >> 8));
    }
    return bytes;
}

bool ReadVersionMarker(const QString& fileName, TVersionComponents& version)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() < MarkerSize)
        return false;
    // Mapped, not read: a program file may be hundreds of megabytes.
    const uchar* data = file.map(0, file.size());
    if (!data)
        return false;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), file.size());
    const qsizetype at = bytes.indexOf(Magic());
    const bool found = at >= 0 && at + MarkerSize <= bytes.size();
    if (found)
        version = ComponentsAt(data + at + MagicSize);
    file.unmap(const_cast<uchar*>(data));
    return found;
}

#pragma once
// A family for columns of G-code that must line up: the first one whose font
// Qt resolves as fixed-pitch. Qt reports some monospaced families (Noto Sans
// Mono among them) as not fixed-pitch, so the system's fixed font is only one
// candidate among the common monospaced families of a desktop.
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

inline QString FixedPitchFamily(const QStringList& preferred)
{
    const QStringList candidates = preferred
        + QStringList { QFontDatabase::systemFont(QFontDatabase::FixedFont).family(), "DejaVu Sans Mono",
              "Liberation Mono", "Noto Sans Mono", "Courier" };
    for (const QString& family : candidates)
        if (QFontDatabase::hasFamily(family) && QFontInfo(QFont(family)).fixedPitch())
            return family;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

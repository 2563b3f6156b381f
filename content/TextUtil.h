#pragma once
// Trimming as the device link and the program tools do it: characters whose
// code is 32 or less count as white space (not Unicode's notion).
#include <QString>
#include <QStringView>

inline bool IsLowControl(QChar c)
{
    return c.unicode() <= 32;
}

inline QStringView TrimLeftLow(QStringView s)
{
    qsizetype b = 0;
    while (b < s.size() && IsLowControl(s[b]))
        ++b;
    return s.mid(b);
}

inline QStringView TrimRightLow(QStringView s)
{
    qsizetype e = s.size();
    while (e > 0 && IsLowControl(s[e - 1]))
        --e;
    return s.left(e);
}

inline QStringView TrimLow(QStringView s)
{
    return TrimRightLow(TrimLeftLow(s));
}

#include "UnitGCodeHighlighter.h"

namespace {

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

bool IsWhite(QChar c)
{
    return c.unicode() <= 32 || c.isSpace();
}

TGCodeTokenKind WordKind(QChar c)
{
    switch (c.unicode() | 0x20) { // ASCII lower case
    case 'f':
        return gtkF;
    case 'g':
        return gtkG;
    case 'm':
        return gtkM;
    case 'n':
        return gtkN;
    case 's':
        return gtkS;
    case 't':
        return gtkT;
    case 'x':
        return gtkX;
    case 'y':
        return gtkY;
    case 'z':
        return gtkZ;
    default:
        return gtkUnknown;
    }
}

bool IsWordLetter(QChar c)
{
    const char16_t u = c.unicode();
    return ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) && WordKind(c) != gtkUnknown;
}

} // namespace

const QList<TGCodeAttribute>& GCodeAttributes()
{
    static const QList<TGCodeAttribute> attributes = {
        { gtkSpace, "Whitespace", QString::fromUtf8("Boşluk"), false, 0, 0, 0, false },
        { gtkComment, "Comment", QString::fromUtf8("Yorum"), true, 128, 128, 128, true },
        { gtkG, "GCode", QString::fromUtf8("G Kodu"), true, 0, 0, 128, false },
        { gtkM, "MCode", QString::fromUtf8("M Kodu"), true, 128, 0, 128, false },
        { gtkT, "TCode", QString::fromUtf8("T Kodu (Takım)"), true, 0, 128, 128, false },
        { gtkF, "FCode", QString::fromUtf8("F Kodu (İlerleme)"), true, 128, 128, 0, false },
        { gtkS, "SCode", QString::fromUtf8("S Kodu (Mil Hızı)"), true, 128, 0, 0, false },
        { gtkN, "NCode", QString::fromUtf8("N Kodu (Satır No)"), true, 128, 128, 128, false },
        { gtkX, "XAxis", QString::fromUtf8("X Ekseni"), true, 255, 0, 0, false },
        { gtkY, "YAxis", QString::fromUtf8("Y Ekseni"), true, 0, 128, 0, false },
        { gtkZ, "ZAxis", QString::fromUtf8("Z Ekseni"), true, 0, 0, 255, false },
    };
    return attributes;
}

const TGCodeAttribute* GCodeAttributeFor(TGCodeTokenKind kind)
{
    for (const TGCodeAttribute& attribute : GCodeAttributes())
        if (attribute.Kind == kind)
            return &attribute;
    return nullptr;
}

TGCodeToken NextGCodeToken(QStringView line, qsizetype pos)
{
    const qsizetype size = line.size();
    if (pos >= size)
        return { gtkNull, size, 1 };
    const QChar c = line[pos];
    qsizetype end = pos + 1;

    if (c == u'(') {
        while (end < size && line[end] != u')' && !IsLineEnd(line[end]))
            ++end;
        if (end < size && line[end] == u')')
            ++end;
        return { gtkComment, pos, end - pos };
    }
    if (c == u';') {
        while (end < size && !IsLineEnd(line[end]))
            ++end;
        return { gtkComment, pos, end - pos };
    }
    if (IsWordLetter(c)) {
        if (end < size && (line[end] == u'+' || line[end] == u'-'))
            ++end;
        while (end < size && IsDigit(line[end]))
            ++end;
        if (end < size && line[end] == u'.') {
            ++end;
            while (end < size && IsDigit(line[end]))
                ++end;
        }
        return { WordKind(c), pos, end - pos };
    }
    if (IsWhite(c)) {
        while (end < size && IsWhite(line[end]))
            ++end;
        return { gtkSpace, pos, end - pos };
    }
    return { gtkUnknown, pos, 1 };
}

void TGCodeTokenizer::SetLine(QStringView line, int lineNumber)
{
    FLine = line;
    FLineNumber = lineNumber;
    FEol = false;
    FToken = NextGCodeToken(FLine, 0);
}

void TGCodeTokenizer::Next()
{
    if (FToken.Kind == gtkNull) {
        FEol = true;
        return;
    }
    FToken = NextGCodeToken(FLine, FToken.Start + FToken.Length);
}

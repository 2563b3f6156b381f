#include "ProgramText.h"

#include "CodePage.h"
#include "TextDocument.h"
#include "TextUtil.h"

QChar FoldTurkishLetter(QChar ch)
{
    switch (ch.unicode()) {
    case 0x00C7:
    case 0x00E7:
        return u'C';
    case 0x011E:
    case 0x011F:
        return u'G';
    case 0x0130:
    case 0x0131:
        return u'I';
    case 0x00D6:
    case 0x00F6:
        return u'O';
    case 0x015E:
    case 0x015F:
        return u'S';
    case 0x00DC:
    case 0x00FC:
        return u'U';
    default:
        return ch;
    }
}

QString AsciiUpperCase(QStringView text)
{
    QString result = text.toString();
    for (QChar& c : result)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return result;
}

QString JoinCrLf(const QStringList& lines)
{
    return JoinTextLines(lines, TLineBreakStyle::CrLf, true);
}

QString SplitPercentLines(QStringView text, bool keepPercentLines)
{
    QStringList result;
    for (const QString& line : SplitTextLines(text)) {
        if (keepPercentLines && TrimLeftLow(line).startsWith(u'%')) {
            result.append(line);
            continue;
        }
        const qsizetype p = line.indexOf(u'%');
        if (p >= 0 && TrimLow(line) != u"%") {
            const QStringView before = TrimLow(QStringView(line).left(p));
            const QStringView after = TrimLow(QStringView(line).mid(p + 1));
            if (!before.isEmpty())
                result.append(before.toString());
            result.append(QStringLiteral("%"));
            if (!after.isEmpty())
                result.append(after.toString());
            continue;
        }
        result.append(line);
    }
    return JoinCrLf(result);
}

namespace {

// Whether any ASCII letter follows a digit or '.': without one nothing is inserted.
bool MayNeedWordSpaces(QStringView text)
{
    const char16_t* p = text.utf16();
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char16_t c = p[i] | 0x20;
        if (c >= 'a' && c <= 'z') {
            const char16_t before = p[i - 1];
            if ((before >= '0' && before <= '9') || before == '.')
                return true;
        }
    }
    return false;
}

} // namespace

QString InsertWordSpaces(const QString& text)
{
    if (!MayNeedWordSpaces(text))
        return text; // shared, not copied
    return InsertWordSpaces(QStringView(text));
}

QString InsertWordSpaces(QStringView text)
{
    // At most one space per character: write into a buffer of twice the size.
    QString result(text.size() * 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    const char16_t* in = text.utf16();
    bool inComment = false, inQuote = false;
    int parenDepth = 0, bracketDepth = 0;
    char16_t previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = in[i];
        if (c == u'\r' || c == u'\n') {
            inComment = inQuote = false;
            parenDepth = bracketDepth = 0;
        } else if (inComment) {
        } else if (inQuote) {
            if (c == u'"')
                inQuote = false;
        } else if (c == u'"') {
            inQuote = true;
        } else if (c == u'(') {
            ++parenDepth;
        } else if (c == u')') {
            if (parenDepth > 0)
                --parenDepth;
        } else if (parenDepth == 0) {
            if (c == u';') {
                inComment = true;
            } else if (c == u'[') {
                ++bracketDepth;
            } else if (c == u']') {
                if (bracketDepth > 0)
                    --bracketDepth;
            } else if (bracketDepth == 0) {
                const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
                const bool afterNumber = (previous >= u'0' && previous <= u'9') || previous == u'.';
                if (letter && afterNumber)
                    *out++ = u' ';
            }
        }
        *out++ = c;
        previous = c;
    }
    result.truncate(out - reinterpret_cast<const char16_t*>(result.constData()));
    return result;
}

QStringList NormalizeProgramForUpload(const QStringList& lines, bool keepPercentLines)
{
    QStringList kept;
    kept.reserve(lines.size() + 2);
    for (const QString& line : lines) {
        if (TrimLow(line).isEmpty())
            continue;
        QString folded = line;
        for (QChar& c : folded)
            c = FoldTurkishLetter(c);
        kept.append(AsciiUpperCase(folded));
    }
    if (kept.isEmpty() || !TrimLeftLow(kept.first()).startsWith(u'%'))
        kept.prepend(QStringLiteral("%"));
    if (!TrimRightLow(kept.last()).endsWith(u'%'))
        kept.append(QStringLiteral("%"));
    return SplitTextLines(SplitPercentLines(JoinCrLf(kept), keepPercentLines));
}

QByteArray ProgramUploadBytes(const QStringList& lines)
{
    return EncodeAscii(JoinCrLf(lines));
}

#pragma once
// The word-space rule on one character at a time: a blank goes between a
// number ('0'-'9' or '.') and an ASCII letter that follows it, except inside
// comments ("(...)" nested, ';' to the line end), quotes and "[...]"
// expressions. Every line break starts afresh. Only ASCII characters steer the
// rule, so the same state runs over UTF-16 units and over UTF-8 bytes.

class TWordSpacer {
public:
    // Whether a blank goes before c; then c is taken into the state.
    bool SpaceBefore(char32_t c)
    {
        // Outside comments, quotes and expressions most characters change
        // nothing but the previous one.
        if (FPlain && !(c < 128 && IsSteering(c))) {
            const bool space = IsAsciiLetter(c) && IsNumberChar(FPrevious);
            FPrevious = c;
            return space;
        }
        return SpaceBeforeSteered(c);
    }

    // A line break that is not a CR or LF character (U+2028) starts afresh too.
    void NewLine() { *this = TWordSpacer(); }

private:
    static bool IsSteering(char32_t c)
    {
        return c == u'\r' || c == u'\n' || c == u'"' || c == u'(' || c == u')' || c == u';' || c == u'[' || c == u']';
    }
    static bool IsAsciiLetter(char32_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; }
    static bool IsNumberChar(char32_t c) { return (c >= u'0' && c <= u'9') || c == u'.'; }

    bool SpaceBeforeSteered(char32_t c)
    {
        bool space = false;
        if (c == u'\r' || c == u'\n') {
            FInComment = FInQuote = false;
            FParenDepth = FBracketDepth = 0;
        } else if (FInComment) {
        } else if (FInQuote) {
            if (c == u'"')
                FInQuote = false;
        } else if (c == u'"') {
            FInQuote = true;
        } else if (c == u'(') {
            ++FParenDepth;
        } else if (c == u')') {
            if (FParenDepth > 0)
                --FParenDepth;
        } else if (FParenDepth == 0) {
            if (c == u';') {
                FInComment = true;
            } else if (c == u'[') {
                ++FBracketDepth;
            } else if (c == u']') {
                if (FBracketDepth > 0)
                    --FBracketDepth;
            } else if (FBracketDepth == 0) {
                space = IsAsciiLetter(c) && IsNumberChar(FPrevious);
            }
        }
        FPrevious = c;
        FPlain = !FInComment && !FInQuote && FParenDepth == 0 && FBracketDepth == 0;
        return space;
    }

    bool FPlain = true; // outside comments, quotes and expressions
    bool FInComment = false, FInQuote = false;
    int FParenDepth = 0, FBracketDepth = 0;
    char32_t FPrevious = 0;
};

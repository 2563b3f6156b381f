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
                const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
                const bool afterNumber = (FPrevious >= u'0' && FPrevious <= u'9') || FPrevious == u'.';
                space = letter && afterNumber;
            }
        }
        FPrevious = c;
        return space;
    }

    // A line break that is not a CR or LF character (U+2028) starts afresh too.
    void NewLine() { *this = TWordSpacer(); }

private:
    bool FInComment = false, FInQuote = false;
    int FParenDepth = 0, FBracketDepth = 0;
    char32_t FPrevious = 0;
};

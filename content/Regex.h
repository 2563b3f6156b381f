#pragma once
// A PCRE2 pattern on Qt's UTF-16 text (the 16-bit library, no conversion),
// compiled once and JIT-compiled where the platform allows.
#include <QString>
#include <QStringView>

#include <memory>

class TRegexPattern {
public:
    // Code units are matched as they are (no UTF mode, no Unicode properties):
    // \d is an ASCII digit and \b sees only ASCII letters, digits and '_' as word
    // characters, and malformed surrogates in the subject cannot fail a match.
    explicit TRegexPattern(const QString& pattern);
    ~TRegexPattern();
    TRegexPattern(const TRegexPattern&) = delete;
    TRegexPattern& operator=(const TRegexPattern&) = delete;

    bool Matches(QStringView subject) const;

private:
    struct TCode;
    std::unique_ptr<TCode> FCode;
    bool FJit = false;
};

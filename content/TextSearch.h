#pragma once
// Find and replace over the editor's UTF-8 text: plain text or a PCRE2
// regular expression (8-bit library in UTF mode), with or without regard to
// letter case, optionally as a whole word. Offsets are byte offsets into the
// UTF-8 text, as the editor counts positions. Counting every match of a large
// program runs on a worker (TMatchCounter) and reports back by a queued call.
#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct TSearchOptions {
    QString Pattern;
    bool MatchCase = false;
    bool WholeWord = false;
    bool RegularExpression = false;
};

struct TTextMatch {
    qsizetype Start = 0;
    qsizetype Length = 0;
    qsizetype End() const { return Start + Length; }
    bool operator==(const TTextMatch&) const = default;
};

// A found match, and whether the search went past one end of the text to find it.
struct TFoundMatch {
    TTextMatch Match;
    bool Wrapped = false;
};

// Replace all: the matches' region [SpanStart, SpanEnd) of the text and what
// replaces it, so that the editor changes only that region, in one step.
struct TReplaceAllResult {
    qsizetype Count = 0;
    qsizetype SpanStart = 0;
    qsizetype SpanEnd = 0;
    QByteArray Replacement;
};

class TTextSearch {
public:
    // An empty pattern, or an invalid regular expression, gives a search that
    // finds nothing; ErrorMessage says why for the latter.
    explicit TTextSearch(const TSearchOptions& options);

    bool IsValid() const { return FCode != nullptr; }
    QString ErrorMessage() const { return FError; }
    const TSearchOptions& Options() const { return FOptions; }

    // The first match starting at or after from; an empty match at from only
    // when allowEmptyAtFrom.
    std::optional<TTextMatch> MatchFrom(QByteArrayView text, qsizetype from, bool allowEmptyAtFrom = true) const;
    // The last match that starts before `before`.
    std::optional<TTextMatch> LastMatchBefore(QByteArrayView text, qsizetype before) const;
    // Next: the first match at or after from, else (wrapping) the first of the text.
    std::optional<TFoundMatch> FindNext(QByteArrayView text, qsizetype from, bool allowEmptyAtFrom = true) const;
    // Previous: the last match that starts before `before`, else (wrapping) the last of the text.
    std::optional<TFoundMatch> FindPrevious(QByteArrayView text, qsizetype before) const;

    qsizetype CountMatches(QByteArrayView text) const;
    // What a match is replaced by: the replacement as it is, or for a regular
    // expression with $1, ${name} and $$ filled in from the match.
    QByteArray ReplacementFor(QByteArrayView text, const TTextMatch& match, const QByteArray& replacement) const;
    TReplaceAllResult ReplaceAll(QByteArrayView text, const QByteArray& replacement) const;

private:
    struct TCode;
    TSearchOptions FOptions;
    std::shared_ptr<const TCode> FCode;
    QString FError;
};

// Counts matches on a worker thread; the newest request wins, answers to older
// ones are dropped. The text is copied, so the editor may change meanwhile.
class TMatchCounter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TMatchCounter() override;
    void Start(const TTextSearch& search, const QByteArray& text);
    void Cancel()
    {
        ++FJob;
        FRunning = false;
    }
    bool Running() const { return FRunning; }

signals:
    void Counted(qsizetype count);

private:
    quint64 FJob = 0;
    bool FRunning = false;
};

#include "TextSearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

struct TTextSearch::TCode {
    pcre2_code* Code = nullptr;
    bool Jit = false;
    ~TCode() { pcre2_code_free(Code); }
};

namespace {

// A word character for whole-word search: a letter or digit of any script, or '_'.
const QByteArray WordClass = QByteArrayLiteral("[\\p{L}\\p{N}_]");

// The text as a pattern that matches it literally: every ASCII character that
// is not a letter or digit escaped, which PCRE2 always reads as the character.
QByteArray LiteralPattern(const QByteArray& utf8)
{
    QByteArray pattern;
    pattern.reserve(utf8.size() * 2);
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && !((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')))
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

struct TMatchData {
    pcre2_match_data* Data;
    explicit TMatchData(const pcre2_code* code)
        : Data(pcre2_match_data_create_from_pattern(code, nullptr))
    {
    }
    ~TMatchData() { pcre2_match_data_free(Data); }
    TMatchData(const TMatchData&) = delete;
    TMatchData& operator=(const TMatchData&) = delete;
};

} // namespace

TTextSearch::TTextSearch(const TSearchOptions& options)
    : FOptions(options)
{
    if (options.Pattern.isEmpty())
        return;
    const QByteArray utf8 = options.Pattern.toUtf8();
    QByteArray pattern = options.RegularExpression ? utf8 : LiteralPattern(utf8);
    if (options.WholeWord)
        pattern = "(?<!" + WordClass + ")(?:" + pattern + ")(?!" + WordClass + ")";

    uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE;
    if (!options.MatchCase)
        flags |= PCRE2_CASELESS;
    // '$' before a CR LF, and '.' never eats the CR of one.
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.constData()), PCRE2_SIZE(pattern.size()),
        flags, &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        FError = QString::fromUtf8(reinterpret_cast<const char*>(message));
        return;
    }
    auto compiled = std::make_shared<TCode>();
    compiled->Code = code;
    compiled->Jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    FCode = std::move(compiled);
}

namespace {

// One match attempt from `from`; the match, or nothing (no match or a failed match).
std::optional<TTextMatch> RunMatch(
    const pcre2_code* code, bool jit, QByteArrayView text, qsizetype from, uint32_t options, pcre2_match_data* data)
{
    if (from < 0 || from > text.size())
        return std::nullopt;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data() ? text.data() : "");
    const int rc = jit
        ? pcre2_jit_match(code, subject, PCRE2_SIZE(text.size()), PCRE2_SIZE(from), options, data, nullptr)
        : pcre2_match(code, subject, PCRE2_SIZE(text.size()), PCRE2_SIZE(from), options, data, nullptr);
    if (rc < 0)
        return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    // \K in a lookbehind can end a match before its start: not a match to show.
    if (ovector[1] < ovector[0])
        return std::nullopt;
    return TTextMatch { qsizetype(ovector[0]), qsizetype(ovector[1] - ovector[0]) };
}

} // namespace

std::optional<TTextMatch> TTextSearch::MatchFrom(QByteArrayView text, qsizetype from, bool allowEmptyAtFrom) const
{
    if (!FCode)
        return std::nullopt;
    TMatchData data(FCode->Code);
    return RunMatch(FCode->Code, FCode->Jit, text, from, allowEmptyAtFrom ? 0 : PCRE2_NOTEMPTY_ATSTART, data.Data);
}

std::optional<TTextMatch> TTextSearch::LastMatchBefore(QByteArrayView text, qsizetype before) const
{
    if (!FCode || before <= 0)
        return std::nullopt;
    before = qMin(before, text.size() + 1);
    TMatchData data(FCode->Code);
    // Matches are found forwards only: look in a window before `before` that
    // grows until it holds one, so that a match near the caret costs little.
    for (qsizetype window = 64 * 1024;; window *= 4) {
        const qsizetype start = qMax<qsizetype>(0, before - window);
        std::optional<TTextMatch> last;
        qsizetype pos = start;
        bool allowEmpty = true;
        while (const auto match
            = RunMatch(FCode->Code, FCode->Jit, text, pos, allowEmpty ? 0 : PCRE2_NOTEMPTY_ATSTART, data.Data)) {
            if (match->Start >= before)
                break;
            last = match;
            pos = match->End();
            allowEmpty = match->Length > 0;
        }
        if (last || start == 0)
            return last;
    }
}

std::optional<TFoundMatch> TTextSearch::FindNext(QByteArrayView text, qsizetype from, bool allowEmptyAtFrom) const
{
    if (const auto match = MatchFrom(text, from, allowEmptyAtFrom))
        return TFoundMatch { *match, false };
    if (from <= 0)
        return std::nullopt;
    if (const auto match = MatchFrom(text, 0))
        return TFoundMatch { *match, true };
    return std::nullopt;
}

std::optional<TFoundMatch> TTextSearch::FindPrevious(QByteArrayView text, qsizetype before) const
{
    if (const auto match = LastMatchBefore(text, before))
        return TFoundMatch { *match, false };
    if (const auto match = LastMatchBefore(text, text.size() + 1); match && match->Start >= before)
        return TFoundMatch { *match, true };
    return std::nullopt;
}

qsizetype TTextSearch::CountMatches(QByteArrayView text) const
{
    if (!FCode)
        return 0;
    TMatchData data(FCode->Code);
    qsizetype count = 0, pos = 0;
    bool allowEmpty = true;
    while (const auto match
        = RunMatch(FCode->Code, FCode->Jit, text, pos, allowEmpty ? 0 : PCRE2_NOTEMPTY_ATSTART, data.Data)) {
        ++count;
        pos = match->End();
        allowEmpty = match->Length > 0;
    }
    return count;
}

namespace {

// The replacement with the groups of the match in `data` filled in; the
// replacement as it is when it does not parse ("${" without its brace).
QByteArray Substitute(
    const pcre2_code* code, QByteArrayView text, pcre2_match_data* data, const QByteArray& replacement)
{
    const uint32_t options = PCRE2_SUBSTITUTE_MATCHED | PCRE2_SUBSTITUTE_REPLACEMENT_ONLY
        | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_SUBSTITUTE_UNKNOWN_UNSET | PCRE2_SUBSTITUTE_UNSET_EMPTY;
    QByteArray out(replacement.size() + 64, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        PCRE2_SIZE length = PCRE2_SIZE(out.size());
        const int rc = pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(text.data() ? text.data() : ""),
            PCRE2_SIZE(text.size()), 0, options, data, nullptr, reinterpret_cast<PCRE2_SPTR>(replacement.constData()),
            PCRE2_SIZE(replacement.size()), reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
        if (rc >= 0) {
            out.truncate(qsizetype(length));
            return out;
        }
        if (rc != PCRE2_ERROR_NOMEMORY)
            break;
        out.resize(qsizetype(length)); // the length it needs, terminating zero included
    }
    return replacement;
}

} // namespace

QByteArray TTextSearch::ReplacementFor(
    QByteArrayView text, const TTextMatch& match, const QByteArray& replacement) const
{
    if (!FCode || !FOptions.RegularExpression)
        return replacement;
    TMatchData data(FCode->Code);
    // The same match again, anchored at its start, for its groups.
    const auto again = RunMatch(FCode->Code, FCode->Jit, text, match.Start,
        PCRE2_ANCHORED | (match.Length > 0 ? PCRE2_NOTEMPTY_ATSTART : 0), data.Data);
    if (!again)
        return replacement;
    return Substitute(FCode->Code, text, data.Data, replacement);
}

TReplaceAllResult TTextSearch::ReplaceAll(QByteArrayView text, const QByteArray& replacement) const
{
    TReplaceAllResult result;
    if (!FCode)
        return result;
    TMatchData data(FCode->Code);
    qsizetype pos = 0, copied = -1;
    bool allowEmpty = true;
    while (const auto match
        = RunMatch(FCode->Code, FCode->Jit, text, pos, allowEmpty ? 0 : PCRE2_NOTEMPTY_ATSTART, data.Data)) {
        if (copied < 0) {
            result.SpanStart = copied = match->Start;
        }
        result.Replacement.append(text.sliced(copied, match->Start - copied));
        result.Replacement.append(
            FOptions.RegularExpression ? Substitute(FCode->Code, text, data.Data, replacement) : replacement);
        copied = match->End();
        ++result.Count;
        pos = match->End();
        allowEmpty = match->Length > 0;
    }
    result.SpanEnd = qMax<qsizetype>(copied, 0);
    return result;
}

TMatchCounter::~TMatchCounter() = default;

void TMatchCounter::Start(const TTextSearch& search, const QByteArray& text)
{
    const quint64 job = ++FJob;
    FRunning = true;
    QPointer<TMatchCounter> self(this);
    QThreadPool::globalInstance()->start([self, job, search, text] {
        const qsizetype count = search.CountMatches(text);
        // Delivered on the application's thread, where the pointer can be checked.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, job, count] {
                if (!self || self->FJob != job)
                    return;
                self->FRunning = false;
                emit self->Counted(count);
            },
            Qt::QueuedConnection);
    });
}

#include "Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <stdexcept>

struct TRegexPattern::TCode {
    pcre2_code* Code = nullptr;
    ~TCode() { pcre2_code_free(Code); }
};

namespace {

// One match block per thread: the patterns are shared, the match state is not.
struct TMatchData {
    pcre2_match_data* Data = pcre2_match_data_create(1, nullptr);
    ~TMatchData() { pcre2_match_data_free(Data); }
};

pcre2_match_data* ThreadMatchData()
{
    thread_local TMatchData data;
    return data.Data;
}

} // namespace

TRegexPattern::TRegexPattern(const QString& pattern)
    : FCode(std::make_unique<TCode>())
{
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    FCode->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.utf16()), PCRE2_SIZE(pattern.size()), 0,
        &errorCode, &errorOffset, nullptr);
    if (!FCode->Code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, 256);
        throw std::runtime_error(
            "PCRE2: " + QString::fromUtf16(reinterpret_cast<const char16_t*>(message)).toStdString());
    }
    FJit = pcre2_jit_compile(FCode->Code, PCRE2_JIT_COMPLETE) == 0;
}

TRegexPattern::~TRegexPattern() = default;

bool TRegexPattern::Matches(QStringView subject) const
{
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.utf16());
    const auto length = PCRE2_SIZE(subject.size());
    pcre2_match_data* data = ThreadMatchData();
    const int rc = FJit ? pcre2_jit_match(FCode->Code, text, length, 0, PCRE2_NOTEMPTY, data, nullptr)
                        : pcre2_match(FCode->Code, text, length, 0, PCRE2_NOTEMPTY, data, nullptr);
    return rc > 0;
}

// The G-code interpreter: one pass over the text's bytes, block by block, with
// the modal state of an ISO/Fanuc-style control. Where that dialect leaves a
// choice open (defaults, canned-cycle details) it does what LinuxCNC's
// interpreter does, so that the two can be compared move by move.
#include "GCodeInterpreter.h"

#include "content/LargeBuffer.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// LinuxCNC's clearance of a peck above the depth reached before: 0.010 inch.
constexpr double PeckClearanceInch = 0.010;
constexpr double PeckClearanceMm = 0.254;
// A subprogram that calls itself this deep is taken as an endless loop.
constexpr int MaxCallDepth = 64;
// Brackets, signs and functions nested deeper than any macro program writes them.
constexpr int MaxExpressionDepth = 200;
// Blocks a run executes at most: every line eight times, and four million more.
constexpr qint64 MaxBlocksBase = 4'000'000;
constexpr qint64 MaxBlocksPerLine = 8;
constexpr double Pi = 3.14159265358979323846;

// The letters a block's words start with.
enum TWordIndex { WA, WB, WC, WD, WF, WH, WI, WJ, WK, WL, WP, WQ, WR, WS, WT, WU, WV, WW, WX, WY, WZ, WordCount };

int WordIndexOf(char letter)
{
    switch (letter) {
    case 'A':
        return WA;
    case 'B':
        return WB;
    case 'C':
        return WC;
    case 'D':
        return WD;
    case 'F':
        return WF;
    case 'H':
        return WH;
    case 'I':
        return WI;
    case 'J':
        return WJ;
    case 'K':
        return WK;
    case 'L':
        return WL;
    case 'P':
        return WP;
    case 'Q':
        return WQ;
    case 'R':
        return WR;
    case 'S':
        return WS;
    case 'T':
        return WT;
    case 'U':
        return WU;
    case 'V':
        return WV;
    case 'W':
        return WW;
    case 'X':
        return WX;
    case 'Y':
        return WY;
    case 'Z':
        return WZ;
    default:
        return -1;
    }
}

// A length in the moves' fixed point, rounded half away from zero as
// lround does, inline: the library call cost more than the rest of a move.
// Emit has checked that it fits.
qint32 FixedPoint(double length)
{
    const double scaled = length * MoveUnitsPerLength;
    return qint32(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

struct TWordText {
    const char* Begin = nullptr;
    const char* End = nullptr;
    QByteArray Text() const
    {
        QByteArray word;
        for (const char* p = Begin; p < End; ++p)
            if (!IsSpace(*p))
                word += Upper(*p);
        return word;
    }
    // Whether Text() would be word, without making it: most blocks repeat
    // the modal words in force, and a string for each cost more than the block.
    bool Is(const QByteArray& word) const
    {
        const char* w = word.constData();
        const char* const wordEnd = w + word.size();
        for (const char* p = Begin; p < End; ++p) {
            if (IsSpace(*p))
                continue;
            if (w == wordEnd || *w++ != Upper(*p))
                return false;
        }
        return w == wordEnd;
    }
};

bool IsNumberStart(char c)
{
    return (c >= '0' && c <= '9') || c == '.';
}

// An unsigned number at p, digits with spaces between them, as the control reads them.
bool ParseNumber(const char*& p, const char* end, double& value)
{
    double whole = 0, scale = 1;
    bool fraction = false, digits = false;
    while (p < end) {
        const char d = *p;
        if (d >= '0' && d <= '9') {
            digits = true;
            if (fraction) {
                scale *= 0.1;
                whole += (d - '0') * scale;
            } else {
                whole = whole * 10 + (d - '0');
            }
        } else if (d == '.' && !fraction) {
            fraction = true;
        } else if (!IsSpace(d)) {
            break;
        }
        ++p;
    }
    value = whole;
    return digits;
}

struct TCallFrame {
    qsizetype ReturnOffset = 0;
    qint32 ReturnLine = 0;
    qsizetype StartOffset = 0;
    qint32 StartLine = 0;
    int RepeatsLeft = 0;
    QByteArray Name;
};

// Everything a run carries from one block to the next.
struct TRunState {
    TModalState Modal;
    double G92[3] = { 0, 0, 0 }; // machine minus program coordinates that G92 made
    bool ArcAbsolute = false;
    bool RetractToR = true; // G99, as LinuxCNC starts
    TPlane Plane = TPlane::XY;
    // The canned cycle's words, kept from block to block as written.
    double CycleR = 0, CycleZ = 0, CycleQ = 0, CycleP = 0;
    double CycleInitialZ = 0; // Z where the cycles began: G91's R counts from it
    bool HaveCycleR = false, HaveCycleZ = false;
    QHash<int, double> Numbered;
    QHash<QByteArray, double> Named;
    std::vector<TCallFrame> Calls;
    qsizetype Offset = 0; // start of the next line
    qint32 Line = 0; // the next line's number (1-based)
    qint64 Block = 0; // blocks executed so far
    int PendingTool = 0;
    int LastBasicMotion = 0; // G0 or G1: how axis words move after G80
    bool Started = false; // a block was executed (an O line then starts a subprogram)
    bool Ended = false;
};

struct TProbeRequest {
    qint32 Line = 0;
    TToolpath::TResumeProbe* Result = nullptr;
};

} // namespace

struct TToolpath::TCheckpoints {
    std::vector<TRunState> States; // in the order of their lines, at call depth 0
    QMap<qint64, std::pair<qsizetype, qint32>> Subprograms; // O number -> offset and line of the O line
    bool PlainBreaks = false; // every line break is LF or CR LF
    qint32 FirstSubprogramLine = 0; // 0: no subprogram in the text
};

TToolpath::TToolpath() = default;
TToolpath::~TToolpath() = default;
TToolpath::TToolpath(TToolpath&&) noexcept = default;
TToolpath& TToolpath::operator=(TToolpath&&) noexcept = default;

// The interpreter proper; a run fills a toolpath, or only follows the state
// for a probe.
class TGCodeInterpreter {
public:
    TGCodeInterpreter(TToolpath& path, bool record)
        : FPath(path)
        , FText(path.FText)
        , FRecord(record)
    {
    }

    void IndexSubprograms();
    void Run(TRunState& state, TProbeRequest* probe);

private:
    struct TBlock {
        double Value[WordCount] = {};
        bool Has[WordCount] = {};
        TWordText Text[WordCount];
        int G[12];
        TWordText GText[12];
        int GCount = 0;
        int M[8];
        TWordText MText[8];
        int MCount = 0;
        std::vector<std::pair<std::pair<int, QByteArray>, double>> Assignments;
        bool OLine = false;
        qint64 ONumber = 0;

        // One block is reused line after line: the words' texts are read only
        // where Has says so, the values are read as zero where a word is missing.
        void Reset()
        {
            std::fill(std::begin(Value), std::end(Value), 0.0);
            std::fill(std::begin(Has), std::end(Has), false);
            GCount = MCount = 0;
            Assignments.clear();
            OLine = false;
            ONumber = 0;
        }
    };
    TBlock FBlock;

    // Parsing
    bool ParseBlock(const char* p, const char* end, TBlock& block);
    bool ParseValue(const char*& p, const char* end, double& value);
    bool ParseExpression(const char*& p, const char* end, double& value, int minPrecedence = 0);
    bool ParseAtom(const char*& p, const char* end, double& value);
    bool ParseAtomBody(const char*& p, const char* end, double& value);
    int FDepth = 0;
    bool ParseParameterRef(const char*& p, const char* end, int& number, QByteArray& name);
    double Parameter(int number, const QByteArray& name) const;

    // Execution
    bool Execute(TBlock& block);
    bool HasG(const TBlock& block, int g, TWordText* text = nullptr) const;
    void SetWord(TModalWord& word, QByteArray text) { word = { std::move(text), FState->Block }; }
    void SetWord(TModalWord& word, const TWordText& text)
    {
        if (text.Is(word.Word))
            word.Block = FState->Block;
        else
            SetWord(word, text.Text());
    }
    double Length(double v) const { return v; }
    void Target(const TBlock& block, double& x, double& y, double& z, bool machine) const;
    bool Straight(TMoveKind kind, double x, double y, double z);
    bool ArcMove(const TBlock& block, bool ccw, double x, double y, double z);
    bool Cycle(const TBlock& block, int cycle, int previousMotion);
    bool Home(const TBlock& block, bool g30);
    bool Emit(TMoveKind kind, double x, double y, double z, double cu = 0, double cv = 0, int extraTurns = 0,
        bool ccw = false);
    bool Stop(const QString& what);
    void Warn(const QString& text);
    bool CallSubprogram(const TBlock& block);
    bool ReturnFromSubprogram();
    void CheckProbeMove(TMoveKind kind);

    TToolpath& FPath;
    const QByteArray& FText;
    const bool FRecord;
    TRunState* FState = nullptr;
    TProbeRequest* FProbe = nullptr;
    bool FProbeAtResume = false;
    qint32 FBlockLine = 0;
    QString FBadWord;
};

namespace {

// The next line of text from offset: its bounds and the offset after its break.
void NextLine(const QByteArray& text, qsizetype offset, qsizetype& lineEnd, qsizetype& next, bool plainBreaks)
{
    const char* p = text.constData();
    const qsizetype size = text.size();
    if (plainBreaks) {
        // Every break ends in LF: memchr finds it many bytes at a time.
        const auto* lf = static_cast<const char*>(std::memchr(p + offset, '\n', size_t(size - offset)));
        if (!lf) {
            lineEnd = next = size;
            return;
        }
        const qsizetype i = lf - p;
        next = i + 1;
        lineEnd = (i > offset && p[i - 1] == '\r') ? i - 1 : i;
        return;
    }
    qsizetype i = offset;
    while (i < size) {
        const char c = p[i];
        if (c == '\n' || c == '\r')
            break;
        if (c == '\xE2' && i + 2 < size && p[i + 1] == '\x80' && p[i + 2] == '\xA8')
            break;
        ++i;
    }
    lineEnd = i;
    if (i >= size)
        next = size;
    else if (p[i] == '\r')
        next = (i + 1 < size && p[i + 1] == '\n') ? i + 2 : i + 1;
    else if (p[i] == '\n')
        next = i + 1;
    else
        next = i + 3;
}

// A line the editor drops on opening: nothing but bytes of code 32 or less.
bool IsBlankLine(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) > 32)
            return false;
    return true;
}

// Whether every line break of the text is LF or CR LF (no lone CR, no U+2028).
bool HasPlainBreaks(const QByteArray& text)
{
    const char* p = text.constData();
    const char* const end = p + text.size();
    if (std::memchr(p, '\xE2', size_t(end - p)))
        return false;
    for (const char* cr = p; (cr = static_cast<const char*>(std::memchr(cr, '\r', size_t(end - cr)))); ++cr)
        if (cr + 1 == end || cr[1] != '\n')
            return false;
    return true;
}

bool Keyword(const char* p, const char* end, const char* word)
{
    const qsizetype n = qsizetype(std::strlen(word));
    if (end - p < n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (Upper(p[i]) != word[i])
            return false;
    return true;
}

const char* SkipSpaces(const char* p, const char* end)
{
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

} // namespace

void TGCodeInterpreter::IndexSubprograms()
{
    auto& index = *FPath.FCheckpoints;
    qsizetype offset = 0;
    qint32 line = 1;
    bool sawBlock = false;
    const qsizetype size = FText.size();
    while (offset < size) {
        qsizetype end, next;
        NextLine(FText, offset, end, next, FPath.FCheckpoints->PlainBreaks);
        if (FPath.FOptions.SkipBlankLines && IsBlankLine(FText.constData() + offset, FText.constData() + end)) {
            offset = next;
            continue;
        }
        const char* p = SkipSpaces(FText.constData() + offset, FText.constData() + end);
        const char* e = FText.constData() + end;
        if (p < e && (*p == 'O' || *p == 'o' || *p == ':')) {
            const char* q = SkipSpaces(p + 1, e);
            qint64 number = 0;
            bool digits = false;
            while (q < e && *q >= '0' && *q <= '9') {
                number = number * 10 + (*q - '0');
                digits = true;
                ++q;
            }
            q = SkipSpaces(q, e);
            // "O1234" or "O1234 (NAME)": a program number; "o100 sub" is a control-flow word.
            if (digits && (q == e || *q == '(' || *q == ';')) {
                if (sawBlock && index.FirstSubprogramLine == 0)
                    index.FirstSubprogramLine = line;
                if (!index.Subprograms.contains(number))
                    index.Subprograms.insert(number, { offset, line });
            }
        } else if (p < e && *p != '%' && *p != '(' && *p != ';') {
            sawBlock = true;
        }
        offset = next;
        ++line;
    }
    FPath.FLineCount = line - 1;
}

double TGCodeInterpreter::Parameter(int number, const QByteArray& name) const
{
    if (!name.isEmpty())
        return FState->Named.value(name, 0.0);
    return FState->Numbered.value(number, 0.0);
}

bool TGCodeInterpreter::ParseParameterRef(const char*& p, const char* end, int& number, QByteArray& name)
{
    // p is after '#'
    p = SkipSpaces(p, end);
    name.clear();
    if (p < end && *p == '<') {
        const char* q = p + 1;
        while (q < end && *q != '>')
            ++q;
        if (q >= end)
            return false;
        for (const char* c = p + 1; c < q; ++c)
            if (!IsSpace(*c))
                name += char(std::tolower(static_cast<unsigned char>(*c)));
        p = q + 1;
        return !name.isEmpty();
    }
    double value = 0;
    if (!ParseAtom(p, end, value))
        return false;
    number = int(std::lround(value));
    return number >= 0 && number < 100000;
}

bool TGCodeInterpreter::ParseAtom(const char*& p, const char* end, double& value)
{
    // Nesting is bounded: a line of a million '[' or '-' must not exhaust the stack.
    if (FDepth >= MaxExpressionDepth)
        return false;
    ++FDepth;
    const bool ok = ParseAtomBody(p, end, value);
    --FDepth;
    return ok;
}

bool TGCodeInterpreter::ParseAtomBody(const char*& p, const char* end, double& value)
{
    p = SkipSpaces(p, end);
    if (p >= end)
        return false;
    const char c = *p;
    if (c == '[') {
        ++p;
        if (!ParseExpression(p, end, value))
            return false;
        p = SkipSpaces(p, end);
        if (p >= end || *p != ']')
            return false;
        ++p;
        return true;
    }
    if (c == '#') {
        ++p;
        int number = 0;
        QByteArray name;
        if (!ParseParameterRef(p, end, number, name))
            return false;
        value = Parameter(number, name);
        return true;
    }
    if (c == '-' || c == '+') {
        ++p;
        if (!ParseAtom(p, end, value))
            return false;
        if (c == '-')
            value = -value;
        return true;
    }
    if ((c >= '0' && c <= '9') || c == '.')
        return ParseNumber(p, end, value);
    // Functions
    static const char* const Names[]
        = { "ABS", "ACOS", "ASIN", "ATAN", "COS", "EXP", "FIX", "FUP", "LN", "ROUND", "SIN", "SQRT", "TAN" };
    for (const char* name : Names) {
        if (!Keyword(p, end, name))
            continue;
        p += std::strlen(name);
        double a = 0;
        p = SkipSpaces(p, end);
        if (p >= end || *p != '[')
            return false;
        if (!ParseAtom(p, end, a))
            return false;
        const double toRad = Pi / 180.0;
        const QByteArrayView n(name);
        if (n == "ATAN") {
            p = SkipSpaces(p, end);
            double b = 1;
            if (p < end && *p == '/') {
                ++p;
                if (!ParseAtom(p, end, b))
                    return false;
                value = std::atan2(a, b) / toRad;
            } else {
                value = std::atan(a) / toRad;
            }
        } else if (n == "ABS")
            value = std::fabs(a);
        else if (n == "ACOS")
            value = std::acos(a) / toRad;
        else if (n == "ASIN")
            value = std::asin(a) / toRad;
        else if (n == "COS")
            value = std::cos(a * toRad);
        else if (n == "EXP")
            value = std::exp(a);
        else if (n == "FIX")
            value = std::floor(a);
        else if (n == "FUP")
            value = std::ceil(a);
        else if (n == "LN")
            value = std::log(a);
        else if (n == "ROUND")
            value = std::round(a);
        else if (n == "SIN")
            value = std::sin(a * toRad);
        else if (n == "SQRT")
            value = std::sqrt(a);
        else
            value = std::tan(a * toRad);
        return std::isfinite(value);
    }
    return false;
}

bool TGCodeInterpreter::ParseExpression(const char*& p, const char* end, double& value, int minPrecedence)
{
    if (!ParseAtom(p, end, value))
        return false;
    struct TOp {
        const char* Name;
        int Precedence;
    };
    static const TOp Ops[] = { { "**", 4 }, { "*", 3 }, { "/", 3 }, { "MOD", 3 }, { "+", 2 }, { "-", 2 }, { "EQ", 1 },
        { "NE", 1 }, { "GT", 1 }, { "GE", 1 }, { "LT", 1 }, { "LE", 1 }, { "AND", 0 }, { "OR", 0 }, { "XOR", 0 } };
    for (;;) {
        p = SkipSpaces(p, end);
        const TOp* op = nullptr;
        for (const TOp& o : Ops)
            if (Keyword(p, end, o.Name)) {
                op = &o;
                break;
            }
        if (!op || op->Precedence < minPrecedence)
            return true;
        p += std::strlen(op->Name);
        double rhs = 0;
        if (!ParseExpression(p, end, rhs, op->Precedence + 1))
            return false;
        const QByteArrayView n(op->Name);
        if (n == "**")
            value = std::pow(value, rhs);
        else if (n == "*")
            value *= rhs;
        else if (n == "/") {
            if (rhs == 0)
                return false;
            value /= rhs;
        } else if (n == "MOD") {
            if (rhs == 0)
                return false;
            value = value - rhs * std::floor(value / rhs);
        } else if (n == "+")
            value += rhs;
        else if (n == "-")
            value -= rhs;
        else if (n == "EQ")
            value = value == rhs;
        else if (n == "NE")
            value = value != rhs;
        else if (n == "GT")
            value = value > rhs;
        else if (n == "GE")
            value = value >= rhs;
        else if (n == "LT")
            value = value < rhs;
        else if (n == "LE")
            value = value <= rhs;
        else if (n == "AND")
            value = (value != 0) && (rhs != 0);
        else if (n == "OR")
            value = (value != 0) || (rhs != 0);
        else
            value = (value != 0) != (rhs != 0);
    }
}

bool TGCodeInterpreter::ParseValue(const char*& p, const char* end, double& value)
{
    // A word's plain number, signed or not, as most words are: read at once,
    // as the atom below would read it.
    const char* q = SkipSpaces(p, end);
    const bool negative = q < end && *q == '-';
    if (negative || (q < end && *q == '+'))
        q = SkipSpaces(q + 1, end);
    if (q < end && IsNumberStart(*q)) {
        double number;
        if (!ParseNumber(q, end, number) || !std::isfinite(number))
            return false;
        p = q;
        value = negative ? -number : number;
        return true;
    }
    return ParseAtom(p, end, value) && std::isfinite(value);
}

// False with FBadWord set when the block holds something not interpreted.
bool TGCodeInterpreter::ParseBlock(const char* p, const char* end, TBlock& block)
{
    p = SkipSpaces(p, end);
    if (p < end && *p == '/')
        ++p; // block delete: the switch is off, as a control starts
    while (p < end) {
        const char c = Upper(*p);
        if (IsSpace(c)) {
            ++p;
            continue;
        }
        if (c == '(') {
            const char* close = static_cast<const char*>(std::memchr(p, ')', size_t(end - p)));
            p = close ? close + 1 : end;
            continue;
        }
        if (c == ';')
            break;
        const char* start = p;
        if (c == '#') {
            ++p;
            int number = 0;
            QByteArray name;
            if (!ParseParameterRef(p, end, number, name)) {
                FBadWord = "#";
                return false;
            }
            p = SkipSpaces(p, end);
            double value = 0;
            if (p >= end || *p != '=' || !ParseExpression(++p, end, value) || !std::isfinite(value)) {
                FBadWord = QString::fromUtf8(start, end - start).trimmed();
                return false;
            }
            block.Assignments.push_back({ { number, name }, value });
            continue;
        }
        // A letter after a letter: a control-flow word, never an address.
        if (p + 1 < end && Upper(p[1]) >= 'A' && Upper(p[1]) <= 'Z')
            for (const char* word : { "IF", "WHILE", "GOTO", "DO", "END" })
                if (Keyword(p, end, word)) {
                    FBadWord = QString::fromLatin1(word);
                    return false;
                }
        if (c == 'N' && (p + 1 < end) && ((p[1] >= '0' && p[1] <= '9') || IsSpace(p[1]))) {
            ++p;
            while (p < end && ((*p >= '0' && *p <= '9') || *p == '.' || IsSpace(*p)))
                ++p;
            continue;
        }
        if (c == 'O' || (c == ':' && p == SkipSpaces(p, end))) {
            const char* q = SkipSpaces(p + 1, end);
            qint64 number = 0;
            bool digits = false;
            while (q < end && *q >= '0' && *q <= '9') {
                number = number * 10 + (*q - '0');
                digits = true;
                ++q;
            }
            const char* rest = SkipSpaces(q, end);
            if (!digits || (rest < end && *rest != '(' && *rest != ';')) {
                FBadWord = QString::fromUtf8(start, end - start).trimmed();
                return false;
            }
            block.OLine = true;
            block.ONumber = number;
            p = q;
            continue;
        }
        ++p;
        double value = 0;
        if (!ParseValue(p, end, value)) {
            FBadWord = QString::fromUtf8(start, std::min<qsizetype>(end - start, 16)).trimmed();
            return false;
        }
        TWordText text { start, p };
        if (c == 'G') {
            if (block.GCount == 12) {
                FBadWord = "G";
                return false;
            }
            block.GText[block.GCount] = text;
            block.G[block.GCount++] = int(std::lround(value * 10));
        } else if (c == 'M') {
            if (block.MCount == 8) {
                FBadWord = "M";
                return false;
            }
            block.MText[block.MCount] = text;
            block.M[block.MCount++] = int(std::lround(value));
        } else {
            const int index = WordIndexOf(c);
            if (index < 0 || block.Has[index]) {
                FBadWord = text.Text();
                return false;
            }
            block.Has[index] = true;
            block.Value[index] = value;
            block.Text[index] = text;
        }
    }
    return true;
}

bool TGCodeInterpreter::HasG(const TBlock& block, int g, TWordText* text) const
{
    for (int i = 0; i < block.GCount; ++i)
        if (block.G[i] == g) {
            if (text)
                *text = block.GText[i];
            return true;
        }
    return false;
}

void TGCodeInterpreter::Warn(const QString& text)
{
    if (FRecord)
        FPath.FWarnings.append({ FBlockLine, text });
}

bool TGCodeInterpreter::Stop(const QString& what)
{
    Warn(QString::fromUtf8("%1 yorumlanmıyor; takım yolu bu satırda bitiyor.").arg(what));
    if (FRecord)
        FPath.FStoppedLine = FBlockLine;
    FState->Ended = true;
    return false;
}

void TGCodeInterpreter::CheckProbeMove(TMoveKind kind)
{
    if (!FProbe || !FProbeAtResume)
        return;
    TToolpath::TResumeProbe& r = *FProbe->Result;
    if (!r.MoveFound) {
        r.MoveFound = true;
        r.AtFirstMove = FState->Modal;
    }
    if (kind == TMoveKind::Feed || kind == TMoveKind::Arc || kind == TMoveKind::Hole) {
        r.CutFound = true;
        r.CutLine = FBlockLine;
        r.AtFirstCut = FState->Modal;
        FState->Ended = true; // the probe has what it came for
    }
}

bool TGCodeInterpreter::Emit(
    TMoveKind kind, double x, double y, double z, double cu, double cv, int extraTurns, bool ccw)
{
    TModalState& m = FState->Modal;
    constexpr double Limit = 2147483647.0 / MoveUnitsPerLength;
    if (std::fabs(x) > Limit || std::fabs(y) > Limit || std::fabs(z) > Limit || std::fabs(cu) > Limit
        || std::fabs(cv) > Limit)
        return Stop(QString::fromUtf8("±21474 birimden uzak bir nokta"));
    if (extraTurns > 31)
        return Stop(QString::fromUtf8("32 turdan uzun bir yay"));
    if (FRecord) {
        TToolpathMove move;
        move.X = FixedPoint(x);
        move.Y = FixedPoint(y);
        move.Z = FixedPoint(z);
        move.CenterU = FixedPoint(cu);
        move.CenterV = FixedPoint(cv);
        move.Line = quint32(FBlockLine);
        move.Feed = kind == TMoveKind::Dwell ? float(cu) : float(m.FeedValue);
        if (kind == TMoveKind::Dwell)
            move.CenterU = 0;
        move.Tool = quint16(std::clamp(m.Tool, 0, 65535));
        move.Kind = kind;
        move.Flags = quint8(int(FState->Plane) | (ccw ? 4 : 0) | (extraTurns << 3));
        if (FPath.FOptions.OnMove)
            FPath.FOptions.OnMove(move);
        if (FPath.FOptions.KeepMoves)
            FPath.FMoves.push_back(move);
    }
    if (kind != TMoveKind::Dwell) {
        m.X = x;
        m.Y = y;
        m.Z = z;
        m.PositionKnown = kind != TMoveKind::Machine || m.PositionKnown;
    }
    CheckProbeMove(kind);
    return true;
}

// The block's end point in program coordinates (G53: machine coordinates,
// the same with every offset taken as zero but G92's).
void TGCodeInterpreter::Target(const TBlock& block, double& x, double& y, double& z, bool machine) const
{
    const TModalState& m = FState->Modal;
    const double* g92 = FState->G92;
    double* out[3] = { &x, &y, &z };
    const double current[3] = { m.X, m.Y, m.Z };
    const int words[3] = { WX, WY, WZ };
    for (int i = 0; i < 3; ++i) {
        if (!block.Has[words[i]])
            *out[i] = current[i];
        else if (machine)
            *out[i] = block.Value[words[i]] - g92[i];
        else if (m.Incremental)
            *out[i] = current[i] + block.Value[words[i]];
        else
            *out[i] = block.Value[words[i]];
    }
}

bool TGCodeInterpreter::Straight(TMoveKind kind, double x, double y, double z)
{
    return Emit(kind, x, y, z);
}

bool TGCodeInterpreter::ArcMove(const TBlock& block, bool ccw, double x, double y, double z)
{
    const TModalState& m = FState->Modal;
    // The plane's axes: u and v in the plane, w along its normal.
    int ui, vi, iu, iv; // coordinate indices and centre-word indices
    switch (FState->Plane) {
    case TPlane::XY:
        ui = 0, vi = 1, iu = WI, iv = WJ;
        break;
    case TPlane::ZX:
        ui = 2, vi = 0, iu = WK, iv = WI;
        break;
    default:
        ui = 1, vi = 2, iu = WJ, iv = WK;
        break;
    }
    const double start[3] = { m.X, m.Y, m.Z };
    const double stop[3] = { x, y, z };
    const double su = start[ui], sv = start[vi], eu = stop[ui], ev = stop[vi];
    double cu = 0, cv = 0;
    int extraTurns = 0;
    if (block.Has[WP]) {
        const double p = block.Value[WP];
        if (p < 1 || p != std::floor(p))
            return Stop("P" + QString::number(p));
        extraTurns = int(p) - 1;
    }
    const double tolerance = m.Metric ? 0.01 : 0.0005;
    if (block.Has[WR]) {
        const double r = block.Value[WR];
        const double half = std::hypot(eu - su, ev - sv) / 2;
        if (half == 0 || r == 0)
            return Stop(QString::fromUtf8("Başlangıcı ile sonu aynı R'li yay"));
        if (half > std::fabs(r) + tolerance)
            return Stop(QString::fromUtf8("Yarıçapı uçlarına yetmeyen yay"));
        const double h = std::fabs(r) < half ? 0 : std::sqrt(r * r - half * half);
        const double theta = std::atan2(ev - sv, eu - su) + ((!ccw) == (r > 0) ? -Pi / 2 : Pi / 2);
        cu = (su + eu) / 2 + h * std::cos(theta);
        cv = (sv + ev) / 2 + h * std::sin(theta);
    } else {
        if (!block.Has[iu] && !block.Has[iv])
            return Stop(QString::fromUtf8("Merkezi verilmeyen yay"));
        if (FState->ArcAbsolute) {
            cu = block.Has[iu] ? block.Value[iu] : su;
            cv = block.Has[iv] ? block.Value[iv] : sv;
        } else {
            cu = su + block.Value[iu];
            cv = sv + block.Value[iv];
        }
        const double r1 = std::hypot(su - cu, sv - cv), r2 = std::hypot(eu - cu, ev - cv);
        if (r1 == 0 || (std::fabs(r1 - r2) > tolerance && std::fabs(r1 - r2) > 0.001 * r1))
            return Stop(QString::fromUtf8("Başlangıç ve bitiş yarıçapı farklı yay"));
    }
    return Emit(TMoveKind::Arc, x, y, z, cu, cv, extraTurns, ccw);
}

// Canned cycles in the XY plane, as LinuxCNC runs them: R under G91 is
// counted from the current Z and the bottom from R; each of L repeats moves
// by X/Y again under G91.
bool TGCodeInterpreter::Cycle(const TBlock& block, int cycle, int previousMotion)
{
    TRunState& s = *FState;
    TModalState& m = s.Modal;
    if (s.Plane != TPlane::XY)
        return Stop(QString::fromUtf8("XY dışında bir düzlemde delme çevrimi"));
    if (block.Has[WR]) {
        s.CycleR = block.Value[WR];
        s.HaveCycleR = true;
    }
    if (block.Has[WZ]) {
        s.CycleZ = block.Value[WZ];
        s.HaveCycleZ = true;
    }
    if (block.Has[WQ])
        s.CycleQ = std::fabs(block.Value[WQ]);
    if (block.Has[WP])
        s.CycleP = block.Value[WP];
    if (!s.HaveCycleR || !s.HaveCycleZ)
        return Stop(QString::fromUtf8("R ya da Z'si eksik delme çevrimi"));
    if ((cycle == 73 || cycle == 83) && s.CycleQ <= 0)
        return Stop(QString::fromUtf8("Q'su eksik gagalama çevrimi"));
    double oldZ = m.Z;
    double r, bottom;
    const bool first = previousMotion != cycle;
    if (previousMotion < 73 || previousMotion == 80)
        s.CycleInitialZ = oldZ;
    if (m.Incremental) {
        r = s.CycleInitialZ + s.CycleR;
        bottom = r + s.CycleZ;
    } else {
        r = s.CycleR;
        bottom = s.CycleZ;
    }
    if (bottom > r)
        return Stop(QString::fromUtf8("Dibi R düzleminin üstünde delme çevrimi"));
    int repeats = 1;
    if (block.Has[WL] || block.Has[WK]) {
        const double l = block.Has[WL] ? block.Value[WL] : block.Value[WK];
        if (l < 0 || l != std::floor(l) || l > 100000)
            return Stop("L" + QString::number(l));
        repeats = int(l);
    }
    if (first && oldZ < r) {
        if (!Emit(TMoveKind::Rapid, m.X, m.Y, r))
            return false;
        oldZ = r;
    }
    const double delta = m.Metric ? PeckClearanceMm : PeckClearanceInch;
    double x = m.X, y = m.Y;
    for (int i = 0; i < repeats; ++i) {
        if (m.Incremental) {
            x += block.Has[WX] ? block.Value[WX] : 0;
            y += block.Has[WY] ? block.Value[WY] : 0;
        } else {
            x = block.Has[WX] ? block.Value[WX] : x;
            y = block.Has[WY] ? block.Value[WY] : y;
        }
        const double clear = s.RetractToR ? r : oldZ;
        if (!Emit(TMoveKind::Rapid, x, y, oldZ))
            return false;
        if (oldZ != r && !Emit(TMoveKind::Rapid, x, y, r))
            return false;
        const auto feed = [&](double z) { return Emit(TMoveKind::Hole, x, y, z); };
        const auto rapid = [&](double z) { return Emit(TMoveKind::Rapid, x, y, z); };
        const auto dwell = [&](double seconds) { return Emit(TMoveKind::Dwell, x, y, m.Z, seconds); };
        bool ok = true;
        switch (cycle) {
        case 81:
            ok = feed(bottom) && rapid(clear);
            break;
        case 82:
            ok = feed(bottom) && (s.CycleP <= 0 || dwell(s.CycleP)) && rapid(clear);
            break;
        case 73:
        case 83:
            for (double depth = r - s.CycleQ; ok && depth > bottom; depth -= s.CycleQ) {
                ok = feed(depth) && (cycle == 83 ? rapid(r) : true) && rapid(depth + delta);
            }
            ok = ok && feed(bottom) && rapid(clear);
            break;
        case 74:
        case 84:
            ok = feed(bottom) && (s.CycleP <= 0 || dwell(s.CycleP)) && feed(clear);
            break;
        case 85:
            ok = feed(bottom) && feed(r) && (clear == r || rapid(clear));
            break;
        case 86:
            ok = feed(bottom) && (s.CycleP <= 0 || dwell(s.CycleP)) && rapid(clear);
            break;
        case 89:
            ok = feed(bottom) && (s.CycleP <= 0 || dwell(s.CycleP)) && feed(clear);
            break;
        default:
            return Stop(QString("G%1").arg(cycle));
        }
        if (!ok)
            return false;
        oldZ = clear;
    }
    return true;
}

// G28/G30: through the intermediate point the axis words give, then to the
// home position (taken as zero) on those axes, on all of them without words.
bool TGCodeInterpreter::Home(const TBlock& block, bool g30)
{
    Q_UNUSED(g30);
    TModalState& m = FState->Modal;
    double x, y, z;
    Target(block, x, y, z, false);
    if (!Emit(TMoveKind::Rapid, x, y, z))
        return false;
    const bool all = !block.Has[WX] && !block.Has[WY] && !block.Has[WZ];
    const double hx = all || block.Has[WX] ? 0 : m.X;
    const double hy = all || block.Has[WY] ? 0 : m.Y;
    const double hz = all || block.Has[WZ] ? 0 : m.Z;
    m.PositionKnown = false;
    return Emit(TMoveKind::Machine, hx, hy, hz);
}

bool TGCodeInterpreter::CallSubprogram(const TBlock& block)
{
    TRunState& s = *FState;
    if (!block.Has[WP])
        return Stop("P'siz M98");
    const qint64 number = qint64(std::llround(block.Value[WP]));
    const auto& subs = FPath.FCheckpoints->Subprograms;
    const auto it = subs.find(number);
    if (it == subs.end())
        return Stop(QString::fromUtf8("M98 P%1 (programda O%1 yok)").arg(number));
    if (int(s.Calls.size()) >= MaxCallDepth)
        return Stop(QString::fromUtf8("%1 kattan derin alt program çağrısı").arg(MaxCallDepth));
    int repeats = 1;
    if (block.Has[WL]) {
        const double l = block.Value[WL];
        if (l < 0 || l != std::floor(l) || l > 100000)
            return Stop("L" + QString::number(l));
        repeats = int(l);
    }
    if (repeats == 0)
        return true;
    TCallFrame frame;
    frame.ReturnOffset = s.Offset;
    frame.ReturnLine = s.Line;
    frame.StartOffset = it->first;
    frame.StartLine = it->second;
    frame.RepeatsLeft = repeats - 1;
    frame.Name = "O" + QByteArray::number(number);
    s.Calls.push_back(frame);
    s.Modal.Subprogram = frame.Name;
    // The O line itself is skipped: the subprogram's first block follows it.
    qsizetype end, next;
    NextLine(FText, frame.StartOffset, end, next, FPath.FCheckpoints->PlainBreaks);
    s.Offset = next;
    s.Line = frame.StartLine + 1;
    return true;
}

bool TGCodeInterpreter::ReturnFromSubprogram()
{
    TRunState& s = *FState;
    if (s.Calls.empty()) {
        Warn(QString::fromUtf8("Ana programda M99: program başa döner; takım yolu burada bitiyor."));
        s.Ended = true;
        return false;
    }
    TCallFrame& frame = s.Calls.back();
    if (frame.RepeatsLeft > 0) {
        --frame.RepeatsLeft;
        qsizetype end, next;
        NextLine(FText, frame.StartOffset, end, next, FPath.FCheckpoints->PlainBreaks);
        s.Offset = next;
        s.Line = frame.StartLine + 1;
        return true;
    }
    s.Offset = frame.ReturnOffset;
    s.Line = frame.ReturnLine;
    s.Calls.pop_back();
    s.Modal.Subprogram = s.Calls.empty() ? QByteArray() : s.Calls.back().Name;
    return true;
}

bool TGCodeInterpreter::Execute(TBlock& block)
{
    TRunState& s = *FState;
    TModalState& m = s.Modal;

    // Words that are not interpreted end the run before anything of the block happens.
    for (int w : { WA, WB, WC, WU, WV, WW })
        if (block.Has[w])
            return Stop(QString::fromUtf8("%1 ekseni").arg(block.Text[w].Text().left(1)));
    int motion = -1; // a motion word of this block, in tenths
    bool nonModalMotion = false;
    for (int i = 0; i < block.GCount; ++i) {
        const int g = block.G[i];
        switch (g) {
        case 0:
        case 10:
        case 20:
        case 30:
        case 800:
        case 730:
        case 740:
        case 810:
        case 820:
        case 830:
        case 840:
        case 850:
        case 860:
        case 890:
            // G80 beside another motion code only cancels the cycle before it.
            if (motion >= 0 && motion != 800 && g != 800)
                return Stop(QString::fromUtf8("Aynı satırda iki hareket kodu"));
            if (motion < 0 || motion == 800)
                motion = g;
            break;
        case 40: // dwell
        case 280:
        case 300:
        case 530:
        case 920:
        case 921:
        case 922:
            nonModalMotion = true;
            break;
        case 170:
        case 180:
        case 190:
        case 200:
        case 210:
        case 900:
        case 910:
        case 901:
        case 911:
        case 940:
        case 950:
        case 960:
        case 970:
        case 400:
        case 410:
        case 420:
        case 430:
        case 440:
        case 490:
        case 540:
        case 550:
        case 560:
        case 570:
        case 580:
        case 590:
        case 591:
        case 592:
        case 593:
        case 541:
        case 980:
        case 990:
        case 610:
        case 611:
        case 640:
        case 150: // polar coordinates off
            break;
        default:
            return Stop(block.GText[i].Text());
        }
    }
    Q_UNUSED(nonModalMotion);
    for (int i = 0; i < block.MCount; ++i) {
        switch (block.M[i]) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 30:
        case 98:
        case 99:
        case 48:
        case 49:
            break;
        default:
            // Machine-specific M codes (clamps, doors, pallets) move nothing drawn.
            break;
        }
    }

    // Feed mode, feed, speed, tool.
    TWordText word;
    if (HasG(block, 940, &word) || HasG(block, 950, &word))
        SetWord(m.FeedMode, word);
    if (block.Has[WF]) {
        m.FeedValue = block.Value[WF];
        SetWord(m.FeedRate, block.Text[WF]);
    }
    if (HasG(block, 960, &word) || HasG(block, 970, &word))
        SetWord(m.SpeedMode, word);
    if (block.Has[WS]) {
        m.SpeedValue = block.Value[WS];
        SetWord(m.Speed, block.Text[WS]);
    }
    // T selects the next tool; M6 puts it in the spindle.
    if (block.Has[WT])
        s.PendingTool = int(std::lround(block.Value[WT]));
    for (int i = 0; i < block.MCount; ++i)
        if (block.M[i] == 6)
            m.Tool = s.PendingTool;
    // Spindle and coolant.
    for (int i = 0; i < block.MCount; ++i) {
        const int code = block.M[i];
        if (code == 3 || code == 4 || code == 5) {
            SetWord(m.Spindle, block.MText[i]);
            m.SpindleRunning = code != 5;
        } else if (code == 7 || code == 8 || code == 9) {
            SetWord(m.Coolant, block.MText[i]);
            m.CoolantOn = code != 9;
        }
    }
    // Dwell.
    if (HasG(block, 40)) {
        if (!block.Has[WP] && !block.Has[WX])
            return Stop(QString::fromUtf8("Süresi verilmeyen G4"));
        const double seconds = block.Has[WP] ? block.Value[WP] : block.Value[WX];
        if (!Emit(TMoveKind::Dwell, m.X, m.Y, m.Z, seconds))
            return false;
    }
    // Plane, units, compensation, offsets, modes.
    for (int i = 0; i < block.GCount; ++i) {
        const int g = block.G[i];
        const TWordText& text = block.GText[i];
        switch (g) {
        case 170:
        case 180:
        case 190:
            SetWord(m.Plane, text);
            s.Plane = g == 170 ? TPlane::XY : g == 180 ? TPlane::ZX : TPlane::YZ;
            break;
        case 200:
        case 210: {
            SetWord(m.Units, text);
            const bool metric = g == 210;
            if (metric != m.Metric) {
                const double f = metric ? 25.4 : 1 / 25.4;
                m.X *= f, m.Y *= f, m.Z *= f;
                for (double& o : s.G92)
                    o *= f;
                m.Metric = metric;
            }
            break;
        }
        case 400:
            SetWord(m.RadiusComp, text);
            m.RadiusCompOn = false;
            break;
        case 410:
        case 420:
            SetWord(m.RadiusComp, block.Has[WD] ? text.Text() + ' ' + block.Text[WD].Text() : text.Text());
            m.RadiusCompOn = true;
            break;
        case 430:
        case 440:
            SetWord(m.ToolLength, block.Has[WH] ? text.Text() + ' ' + block.Text[WH].Text() : text.Text());
            m.ToolLengthOn = true;
            break;
        case 490:
            SetWord(m.ToolLength, text);
            m.ToolLengthOn = false;
            break;
        case 540:
        case 550:
        case 560:
        case 570:
        case 580:
        case 590:
        case 591:
        case 592:
        case 593:
            SetWord(m.WorkOffset, text);
            break;
        case 541:
            SetWord(m.WorkOffset, block.Has[WP] ? text.Text() + ' ' + block.Text[WP].Text() : text.Text());
            break;
        case 900:
        case 910:
            SetWord(m.Distance, text);
            m.Incremental = g == 910;
            break;
        case 901:
        case 911:
            SetWord(m.ArcDistance, text);
            s.ArcAbsolute = g == 901;
            break;
        case 980:
        case 990:
            SetWord(m.Retract, text);
            s.RetractToR = g == 990;
            break;
        default:
            break;
        }
    }

    // Non-modal moves.
    if (HasG(block, 920) || HasG(block, 921) || HasG(block, 922)) {
        // Positions are program coordinates: G92 makes the current one the
        // given value, G92.1 and G92.2 return to the coordinates before it.
        double* current[3] = { &m.X, &m.Y, &m.Z };
        if (HasG(block, 920)) {
            const int words[3] = { WX, WY, WZ };
            bool any = false;
            for (int i = 0; i < 3; ++i)
                if (block.Has[words[i]]) {
                    s.G92[i] += *current[i] - block.Value[words[i]];
                    *current[i] = block.Value[words[i]];
                    any = true;
                }
            if (!any)
                return Stop("Eksensiz G92");
        } else {
            for (int i = 0; i < 3; ++i) {
                *current[i] += s.G92[i];
                s.G92[i] = 0;
            }
        }
        return true; // the axis words set the offset, they move nothing
    }
    const bool axes = block.Has[WX] || block.Has[WY] || block.Has[WZ];
    if (HasG(block, 280) || HasG(block, 300)) {
        if (!Home(block, HasG(block, 300)))
            return false;
    } else if (HasG(block, 530)) {
        if (motion != 0 && motion != 10 && !(motion < 0 && (m.Motion == 0 || m.Motion == 1)))
            return Stop(QString::fromUtf8("G0/G1 olmadan G53"));
        if (motion >= 0) {
            m.Motion = motion / 10;
            SetWord(m.MotionWord, "G" + QByteArray::number(motion / 10));
        }
        double x, y, z;
        Target(block, x, y, z, true);
        if (!Emit(m.Motion == 1 ? TMoveKind::Feed : TMoveKind::Machine, x, y, z))
            return false;
    } else if (!HasG(block, 40)) {
        // The motion mode is set before the move, so that the move is seen
        // under it; a cycle knows whether it starts anew.
        const int active = motion >= 0 ? motion / 10 : m.Motion;
        const int previousMotion = m.Motion;
        if (motion >= 0) {
            for (int i = 0; i < block.GCount; ++i)
                if (block.G[i] == motion)
                    SetWord(m.MotionWord, block.GText[i]);
            m.Motion = active;
            if (active <= 1)
                s.LastBasicMotion = active;
        }
        if (axes || motion == 20 || motion == 30) {
            double x, y, z;
            Target(block, x, y, z, false);
            bool ok = true;
            switch (active) {
            case 0:
                ok = Straight(TMoveKind::Rapid, x, y, z);
                break;
            case 1:
                ok = Straight(TMoveKind::Feed, x, y, z);
                break;
            case 2:
            case 3:
                ok = ArcMove(block, active == 3, x, y, z);
                break;
            case 80:
                // G80 cancels the cycle only: the axes move under the
                // G0/G1 before it, as a Fanuc-style control does.
                ok = Straight(s.LastBasicMotion == 1 ? TMoveKind::Feed : TMoveKind::Rapid, x, y, z);
                break;
            default:
                ok = Cycle(block, active, previousMotion);
                break;
            }
            if (!ok)
                return false;
        }
    }

    // Program flow last.
    for (int i = 0; i < block.MCount; ++i) {
        const int code = block.M[i];
        if (code == 2 || code == 30) {
            s.Ended = true;
            return true;
        }
        if (code == 98)
            return CallSubprogram(block);
        if (code == 99)
            return ReturnFromSubprogram();
    }
    return true;
}

void TGCodeInterpreter::Run(TRunState& state, TProbeRequest* probe)
{
    FState = &state;
    FProbe = probe;
    auto& checkpoints = *FPath.FCheckpoints;
    const int every = std::max(1, FPath.FOptions.CheckpointLines);
    qint32 lastCheckpoint = checkpoints.States.empty() ? 0 : checkpoints.States.back().Line;
    const qsizetype size = FText.size();
    bool sawPercent = false;
    const auto& cancelled = FPath.FOptions.Cancelled;
    const bool skipBlank = FPath.FOptions.SkipBlankLines;
    qint64 linesRun = 0;
    while (!state.Ended && state.Offset < size) {
        if (FRecord && cancelled && linesRun++ % CancelPollLines == 0 && cancelled()) {
            FPath.FCancelled = true;
            break;
        }
        qsizetype end, next;
        NextLine(FText, state.Offset, end, next, FPath.FCheckpoints->PlainBreaks);
        if (skipBlank && IsBlankLine(FText.constData() + state.Offset, FText.constData() + end)) {
            state.Offset = next;
            continue;
        }
        const qsizetype begin = state.Offset;
        FBlockLine = state.Line;
        if (FRecord && state.Calls.empty() && FBlockLine - lastCheckpoint >= every) {
            checkpoints.States.push_back(state);
            lastCheckpoint = FBlockLine;
        }
        if (probe && !FProbeAtResume && FBlockLine == probe->Line) {
            FProbeAtResume = true;
            probe->Result->Reached = true;
            probe->Result->ResumeBlock = state.Block;
            probe->Result->AtResume = state.Modal;
        }
        state.Offset = next;
        ++state.Line;
        const char* p = SkipSpaces(FText.constData() + begin, FText.constData() + end);
        const char* e = FText.constData() + end;
        if (p == e)
            continue;
        if (*p == '%') {
            // A second '%' ends the tape.
            if (sawPercent || state.Started) {
                state.Ended = true;
                break;
            }
            sawPercent = true;
            continue;
        }
        TBlock& block = FBlock;
        block.Reset();
        FBadWord.clear();
        if (!ParseBlock(p, e, block)) {
            Stop(FBadWord.isEmpty() ? QString::fromUtf8("Satır") : FBadWord);
            break;
        }
        if (block.OLine) {
            // The program's number; a subprogram's start in the main flow
            // means the main program ran into it without an end.
            if (state.Started && state.Calls.empty()) {
                Warn(QString::fromUtf8("Ana program M30/M2 olmadan O%1 alt programına giriyor; takım yolu burada "
                                       "bitiyor.")
                         .arg(block.ONumber));
                state.Ended = true;
                break;
            }
            if (block.GCount == 0 && block.MCount == 0 && block.Assignments.empty())
                continue;
        }
        state.Started = true;
        // Repeated subprogram calls multiply: bounded, so that a program cannot
        // keep the interpreter (and the window's worker) busy for ever.
        if (state.Block >= MaxBlocksBase + MaxBlocksPerLine * qint64(FPath.FLineCount)) {
            Stop(QString::fromUtf8("%1 bloktan uzun çalışan program").arg(state.Block));
            break;
        }
        const bool ok = Execute(block);
        for (const auto& [target, value] : block.Assignments) {
            if (!target.second.isEmpty())
                state.Named.insert(target.second, value);
            else
                state.Numbered.insert(target.first, value);
        }
        ++state.Block;
        if (!ok)
            break;
    }
    FState = nullptr;
}

TToolpath InterpretProgram(const QByteArray& text, const TInterpreterOptions& options)
{
    TToolpath path;
    path.FText = text;
    path.FOptions = options;
    path.FCheckpoints = std::make_unique<TToolpath::TCheckpoints>();
    // Room for a move every 12 bytes, taken once: pages never written cost
    // nothing, and the list is never copied while it grows.
    if (options.KeepMoves) {
        path.FMoves.reserve(size_t(text.size() / 12 + 16));
        // Written once from start to end: huge pages spare a page fault every
        // 128 moves, which cost more than the moves' interpretation.
        AdviseHugePages(path.FMoves.data(), path.FMoves.capacity() * sizeof(TToolpathMove));
    }
    path.FCheckpoints->PlainBreaks = HasPlainBreaks(path.FText);
    TGCodeInterpreter interpreter(path, true);
    interpreter.IndexSubprograms();
    TRunState state;
    state.Line = 1;
    path.FCheckpoints->States.push_back(state);
    interpreter.Run(state, nullptr);
    // They may refer to the caller's locals.
    path.FOptions.OnMove = nullptr;
    path.FOptions.Cancelled = nullptr;
    return path;
}

TToolpath::TResumeProbe TToolpath::ProbeResume(qint32 line) const
{
    TResumeProbe result;
    if (!FCheckpoints || line < 1)
        return result;
    // Lines of the main flow start from the last stored state before them;
    // a subprogram's lines are first reached by a call from anywhere.
    const auto& states = FCheckpoints->States;
    TRunState state = states.front();
    const bool mainFlow = FCheckpoints->FirstSubprogramLine == 0 || line < FCheckpoints->FirstSubprogramLine;
    if (mainFlow) {
        auto it = std::upper_bound(
            states.begin(), states.end(), line, [](qint32 l, const TRunState& s) { return l < s.Line; });
        if (it != states.begin())
            state = *std::prev(it);
    }
    TToolpath& self = const_cast<TToolpath&>(*this);
    TGCodeInterpreter interpreter(self, false);
    TProbeRequest request { line, &result };
    interpreter.Run(state, &request);
    return result;
}

bool TToolpath::StateAt(qint32 line, TModalState& state) const
{
    const TResumeProbe probe = ProbeResume(line);
    if (!probe.Reached)
        return false;
    state = probe.AtResume;
    return true;
}

QByteArray TToolpath::SubprogramAt(qint32 line) const
{
    if (!FCheckpoints || FCheckpoints->FirstSubprogramLine == 0 || line < FCheckpoints->FirstSubprogramLine)
        return {};
    qint64 best = -1;
    qint32 bestLine = 0;
    for (auto it = FCheckpoints->Subprograms.begin(); it != FCheckpoints->Subprograms.end(); ++it)
        if (it->second <= line && it->second >= FCheckpoints->FirstSubprogramLine && it->second > bestLine) {
            best = it.key();
            bestLine = it->second;
        }
    return best < 0 ? QByteArray() : "O" + QByteArray::number(best);
}

QByteArray MoveListText(const TToolpath& path)
{
    QByteArray out;
    qint32 x = 0, y = 0, z = 0;
    const auto number = [](qint32 v) {
        // Four decimals from the fixed point, rounded half away from zero.
        const qint64 tenThousandths = (qint64(v) + (v >= 0 ? 5 : -5)) / 10;
        QByteArray text = QByteArray::number(double(tenThousandths) / 10000.0, 'f', 4);
        return text == "-0.0000" ? QByteArray("0.0000") : text;
    };
    for (const TToolpathMove& move : path.Moves()) {
        if (move.Kind == TMoveKind::Dwell)
            continue;
        if (move.X == x && move.Y == y && move.Z == z && move.Kind != TMoveKind::Arc)
            continue;
        out += QByteArray::number(move.Line);
        if (move.Kind == TMoveKind::Arc) {
            qint32 c[3] = { x, y, z };
            const int u = move.Plane() == TPlane::XY ? 0 : move.Plane() == TPlane::ZX ? 2 : 1;
            const int v = move.Plane() == TPlane::XY ? 1 : move.Plane() == TPlane::ZX ? 0 : 2;
            c[u] = move.CenterU;
            c[v] = move.CenterV;
            out += " arc " + number(move.X) + ' ' + number(move.Y) + ' ' + number(move.Z) + ' ' + number(c[0]) + ' '
                + number(c[1]) + ' ' + number(c[2]) + ' ' + QByteArray::number(move.Rotation()) + '\n';
        } else {
            const bool rapid = move.Kind == TMoveKind::Rapid || move.Kind == TMoveKind::Machine;
            out += (rapid ? " rapid " : " feed ") + number(move.X) + ' ' + number(move.Y) + ' ' + number(move.Z) + '\n';
        }
        x = move.X, y = move.Y, z = move.Z;
    }
    return out;
}

namespace {

struct TArcFrame {
    int U, V, W; // coordinate indices of the plane's axes and its normal
};

TArcFrame FrameOf(TPlane plane)
{
    switch (plane) {
    case TPlane::XY:
        return { 0, 1, 2 };
    case TPlane::ZX:
        return { 2, 0, 1 };
    default:
        return { 1, 2, 0 };
    }
}

double Coord(const TPoint3& p, int i)
{
    return i == 0 ? p.X : i == 1 ? p.Y : p.Z;
}

double& Coord(TPoint3& p, int i)
{
    return i == 0 ? p.X : i == 1 ? p.Y : p.Z;
}

TPoint3 EndOf(const TToolpathMove& move)
{
    return { move.EndX(), move.EndY(), move.EndZ() };
}

} // namespace

double ArcSweep(const TToolpathMove& move, const TPoint3& start)
{
    const TArcFrame f = FrameOf(move.Plane());
    const TPoint3 end = EndOf(move);
    const double cu = move.CenterU / MoveUnitsPerLength, cv = move.CenterV / MoveUnitsPerLength;
    const double a0 = std::atan2(Coord(start, f.V) - cv, Coord(start, f.U) - cu);
    const double a1 = std::atan2(Coord(end, f.V) - cv, Coord(end, f.U) - cu);
    double sweep = move.CounterClockwise() ? a1 - a0 : a0 - a1;
    while (sweep <= 1e-12)
        sweep += 2 * Pi;
    while (sweep > 2 * Pi + 1e-12)
        sweep -= 2 * Pi;
    return sweep + 2 * Pi * move.ExtraTurns();
}

void ArcPoints(const TToolpathMove& move, const TPoint3& start, double segmentAngle, std::vector<TPoint3>& points)
{
    const TArcFrame f = FrameOf(move.Plane());
    const TPoint3 end = EndOf(move);
    const double cu = move.CenterU / MoveUnitsPerLength, cv = move.CenterV / MoveUnitsPerLength;
    const double su = Coord(start, f.U) - cu, sv = Coord(start, f.V) - cv;
    const double eu = Coord(end, f.U) - cu, ev = Coord(end, f.V) - cv;
    const double r0 = std::hypot(su, sv), r1 = std::hypot(eu, ev);
    const double a0 = std::atan2(sv, su);
    const double sweep = ArcSweep(move, start);
    const int steps = std::clamp(int(std::ceil(sweep / std::max(segmentAngle, 1e-3))), 1, 100000);
    const double direction = move.CounterClockwise() ? 1 : -1;
    for (int i = 1; i < steps; ++i) {
        const double t = double(i) / steps;
        const double a = a0 + direction * sweep * t;
        const double r = r0 + (r1 - r0) * t;
        TPoint3 p;
        Coord(p, f.U) = cu + r * std::cos(a);
        Coord(p, f.V) = cv + r * std::sin(a);
        Coord(p, f.W) = Coord(start, f.W) + (Coord(end, f.W) - Coord(start, f.W)) * t;
        points.push_back(p);
    }
    points.push_back(end);
}

void TToolpathSummarizer::Include(const TPoint3& p)
{
    if (FSummary.Empty) {
        FSummary.Min = FSummary.Max = p;
        FSummary.Empty = false;
        return;
    }
    FSummary.Min = { std::min(FSummary.Min.X, p.X), std::min(FSummary.Min.Y, p.Y), std::min(FSummary.Min.Z, p.Z) };
    FSummary.Max = { std::max(FSummary.Max.X, p.X), std::max(FSummary.Max.Y, p.Y), std::max(FSummary.Max.Z, p.Z) };
}

namespace {

// Whether an arc's whole circle (radius about its centre, between the heights
// of its ends) lies inside the extents.
bool ArcWithinExtents(const TToolpathSummary& extents, const TToolpathMove& move, const TArcFrame& f, double radius,
    const TPoint3& start, const TPoint3& end)
{
    if (extents.Empty)
        return false;
    const double cu = move.CenterU / MoveUnitsPerLength, cv = move.CenterV / MoveUnitsPerLength;
    const auto within = [&](int axis, double low, double high) {
        return Coord(extents.Min, axis) <= low && high <= Coord(extents.Max, axis);
    };
    const double w0 = Coord(start, f.W), w1 = Coord(end, f.W);
    return within(f.U, cu - radius, cu + radius) && within(f.V, cv - radius, cv + radius)
        && within(f.W, std::min(w0, w1), std::max(w0, w1));
}

} // namespace

void TToolpathSummarizer::Add(const TToolpathMove& move)
{
    ++FSummary.MoveCount;
    if (move.Kind == TMoveKind::Dwell) {
        FSummary.Seconds += move.Feed;
        return;
    }
    const TPoint3 end = EndOf(move);
    double length;
    if (move.Kind == TMoveKind::Arc) {
        const TArcFrame f = FrameOf(move.Plane());
        const double r = std::hypot(
            Coord(FAt, f.U) - move.CenterU / MoveUnitsPerLength, Coord(FAt, f.V) - move.CenterV / MoveUnitsPerLength);
        length = std::hypot(r * ArcSweep(move, FAt), Coord(end, f.W) - Coord(FAt, f.W));
        // The bulges: a polyline of 128 segments a turn finds them within
        // 0.03 %. An arc whose whole circle lies inside the extents found so
        // far cannot widen them, and most arcs of a program do.
        const double r1 = std::hypot(
            Coord(end, f.U) - move.CenterU / MoveUnitsPerLength, Coord(end, f.V) - move.CenterV / MoveUnitsPerLength);
        if (!ArcWithinExtents(FSummary, move, f, std::max(r, r1), FAt, end)) {
            FArcPoints.clear();
            ArcPoints(move, FAt, Pi / 64, FArcPoints);
            for (const TPoint3& p : FArcPoints)
                Include(p);
        }
    } else {
        // Coordinates are bounded (±21474 units): no scaling against overflow needed.
        const double dx = end.X - FAt.X, dy = end.Y - FAt.Y, dz = end.Z - FAt.Z;
        length = std::sqrt(dx * dx + dy * dy + dz * dz);
        Include(end);
    }
    const bool rapid = move.Kind == TMoveKind::Rapid || move.Kind == TMoveKind::Machine;
    if (rapid) {
        FSummary.RapidLength += length;
        if (FRapidRate > 0)
            FSummary.Seconds += length / FRapidRate * 60;
    } else {
        FSummary.FeedLength += length;
        if (move.Feed > 0)
            FSummary.Seconds += length / move.Feed * 60;
    }
    FAt = end;
}

TToolpathSummary SummarizeToolpath(const TToolpath& path, double rapidRate)
{
    TToolpathSummarizer summarizer(rapidRate);
    for (const TToolpathMove& move : path.Moves())
        summarizer.Add(move);
    return summarizer.Result();
}

struct TToolpathSummaryThread::TShared {
    explicit TShared(double rapidRate)
        : Summarizer(rapidRate)
    {
    }
    // Batches waiting, at most MaxWaiting: the memory stays bounded however
    // far the interpreter runs ahead.
    static constexpr size_t MaxWaiting = 4;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::vector<TToolpathMove>> Waiting;
    std::vector<std::vector<TToolpathMove>> Spare; // summed batches, their room used again
    bool Closed = false;
    TToolpathSummarizer Summarizer; // only the thread touches it until it is joined
    std::thread Thread;

    void Run()
    {
        std::unique_lock lock(Lock);
        for (;;) {
            Changed.wait(lock, [this] { return Closed || !Waiting.empty(); });
            if (Waiting.empty())
                return;
            std::vector<TToolpathMove> batch = std::move(Waiting.front());
            Waiting.pop_front();
            Changed.notify_all();
            lock.unlock();
            for (const TToolpathMove& move : batch)
                Summarizer.Add(move);
            batch.clear();
            lock.lock();
            Spare.push_back(std::move(batch));
        }
    }
};

TToolpathSummaryThread::TToolpathSummaryThread(double rapidRate)
    : FShared(std::make_unique<TShared>(rapidRate))
{
    FBatch.reserve(BatchMoves);
    FShared->Thread = std::thread([shared = FShared.get()] { shared->Run(); });
}

TToolpathSummaryThread::~TToolpathSummaryThread()
{
    Finish();
}

void TToolpathSummaryThread::HandOver()
{
    TShared& shared = *FShared;
    std::unique_lock lock(shared.Lock);
    shared.Changed.wait(lock, [&] { return shared.Waiting.size() < TShared::MaxWaiting; });
    shared.Waiting.push_back(std::move(FBatch));
    FBatch = {};
    if (!shared.Spare.empty()) {
        FBatch = std::move(shared.Spare.back());
        shared.Spare.pop_back();
    }
    shared.Changed.notify_all();
    lock.unlock();
    FBatch.reserve(BatchMoves);
}

const TToolpathSummary& TToolpathSummaryThread::Finish()
{
    TShared& shared = *FShared;
    if (shared.Thread.joinable()) {
        if (!FBatch.empty())
            HandOver();
        {
            const std::lock_guard lock(shared.Lock);
            shared.Closed = true;
        }
        shared.Changed.notify_all();
        shared.Thread.join();
    }
    return shared.Summarizer.Result();
}

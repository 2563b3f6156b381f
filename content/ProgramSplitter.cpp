#include "ProgramSplitter.h"

#include "CodePage.h"
#include "EditorText.h"
#include "LargeBuffer.h"
#include "TextDocument.h"
#include "TextUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cstring>

namespace {

// A line without ':' is shared, not copied.
QString ReplaceColons(const QString& line)
{
    if (!line.contains(u':'))
        return line;
    QString result = line;
    result.replace(u':', u'O');
    return result;
}

// A line as decoding it alone reads it, as the split by lines does: a byte
// order mark (U+FEFF) at its start is dropped.
QByteArrayView WithoutLeadingMark(QByteArrayView line)
{
    return line.startsWith("\xEF\xBB\xBF") ? line.sliced(3) : line;
}

bool IsProgramStartLine(QByteArrayView line)
{
    line = WithoutLeadingMark(line);
    return !line.isEmpty() && (line[0] == ':' || line[0] == 'O');
}

// The text's closing '%' line, blanks (codes of 32 or less) around it aside.
bool IsPercentLine(QByteArrayView line)
{
    line = WithoutLeadingMark(line);
    while (!line.isEmpty() && static_cast<unsigned char>(line.front()) <= 32)
        line = line.sliced(1);
    while (!line.isEmpty() && static_cast<unsigned char>(line.back()) <= 32)
        line.chop(1);
    return line == "%";
}

} // namespace

bool IsProgramStartLine(QStringView line)
{
    return !line.isEmpty() && (line[0] == u':' || line[0] == u'O');
}

QList<TProgramSlice> FindPrograms(QByteArrayView text)
{
    QList<TProgramSlice> programs;
    bool open = false;
    TProgramSlice current;
    QByteArrayView lastLine;
    qsizetype lastBegin = 0;
    // Lines before the first start line are not part of any program, and the
    // text's closing '%' line is left out: every program gets its own.
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        lastLine = line;
        lastBegin = line.data() - text.data();
        if (!IsProgramStartLine(line))
            return;
        if (open) {
            current.End = lastBegin;
            programs.append(std::move(current));
        }
        current = { ReplaceColons(QString::fromUtf8(line)), lastBegin, 0 };
        open = true;
    });
    if (open) {
        current.End = IsPercentLine(lastLine) ? lastBegin : text.size();
        programs.append(std::move(current));
    }
    return programs;
}

QStringList ProgramLines(QByteArrayView text, const TProgramSlice& program)
{
    QStringList lines { QStringLiteral("%") };
    ForEachUtf8Line(text.sliced(program.Begin, program.End - program.Begin),
        [&](QByteArrayView line) { lines.append(ReplaceColons(QString::fromUtf8(line))); });
    lines.append(QStringLiteral("%"));
    return lines;
}

QByteArray ProgramText(QByteArrayView text, const TProgramSlice& program)
{
    const QByteArrayView slice = text.sliced(program.Begin, program.End - program.Begin);
    // The editor's text is valid UTF-8: its lines are copied as they are (a
    // leading U+FEFF aside, as decoding each line drops it). Anything else is
    // decoded line by line as ProgramLines decodes it (U+FFFD for each bad
    // sequence).
    const bool valid = QUtf8StringView(slice).isValidUtf8();
    QByteArray joined;
    joined.reserve(slice.size() + slice.size() / 8 + 8); // a CR for each LF, mostly
    AdviseHugePages(joined);
    joined.append('%');
    ForEachUtf8Line(slice, [&](QByteArrayView line) {
        joined.append("\r\n");
        if (valid)
            joined.append(WithoutLeadingMark(line));
        else
            joined.append(QString::fromUtf8(line).toUtf8());
    });
    joined.append("\r\n%");
    // ':' is never a byte of a longer UTF-8 sequence, nor of '%' and CR LF.
    char* const end = joined.data() + joined.size();
    for (char* colon = joined.data(); (colon = static_cast<char*>(std::memchr(colon, ':', size_t(end - colon))));)
        *colon++ = 'O';
    return joined;
}

namespace {

// Control characters (C0, DEL and C1) and what Windows refuses in a name.
bool IsForbiddenInFileName(QChar c)
{
    const char16_t code = c.unicode();
    return code < 0x20 || (code >= 0x7f && code <= 0x9f) || QStringView(u"\"'*/:<>?\\|").contains(c);
}

bool OnlyDotsAndBlanks(QStringView name)
{
    for (QChar c : name)
        if (c != u'.' && !c.isSpace())
            return false;
    return true;
}

QString SafeBaseName(const QString& programName)
{
    QString name = programName;
    for (QChar& c : name)
        if (IsForbiddenInFileName(c))
            c = u'_';
    return name;
}

// The longest start of base that fits with suffix into the file-name limit,
// cut between characters, never inside one.
QString WithSuffix(const QString& base, const QString& suffix)
{
    qsizetype budget = MaxProgramFileNameBytes - suffix.toUtf8().size();
    qsizetype end = 0;
    while (end < base.size()) {
        const char16_t c = base[end].unicode();
        const bool pair = QChar::isHighSurrogate(c) && end + 1 < base.size() && base[end + 1].isLowSurrogate();
        const qsizetype bytes = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes > budget)
            break;
        budget -= bytes;
        end += pair ? 2 : 1;
    }
    const QString kept = base.left(end);
    return (OnlyDotsAndBlanks(kept) ? QStringLiteral("_") : kept) + suffix;
}

} // namespace

QString ProgramFileName(const QString& programName)
{
    return WithSuffix(SafeBaseName(programName), ProgramFileSuffix);
}

QStringList ProgramFileNames(const QList<TSplitProgram>& programs)
{
    QStringList names;
    for (const TSplitProgram& program : programs)
        names.append(program.Name);
    return ProgramFileNames(names);
}

QStringList ProgramFileNames(const QStringList& programNames)
{
    QStringList names;
    QSet<QString> used; // case-folded
    QHash<QString, int> nextNumber; // per case-folded base: numbers below it are taken
    for (const QString& programName : programNames) {
        const QString base = SafeBaseName(programName);
        const QString baseKey = base.toCaseFolded();
        QString name = WithSuffix(base, ProgramFileSuffix);
        int number = nextNumber.value(baseKey, 2);
        while (used.contains(name.toCaseFolded()))
            name = WithSuffix(base, QString(" (%1)").arg(number++) + ProgramFileSuffix);
        nextNumber.insert(baseKey, number);
        used.insert(name.toCaseFolded());
        names << name;
    }
    return names;
}

QByteArray ProgramFileBytes(const QStringList& lines)
{
    // Each line encoded straight into the file's bytes, without a joined text.
    qsizetype total = 0;
    for (const QString& line : lines)
        total += line.size() + 2;
    QByteArray bytes(total, Qt::Uninitialized);
    AdviseHugePages(bytes);
    char* out = bytes.data();
    for (const QString& line : lines) {
        out = EncodeAnsiTo(line, out);
        *out++ = '\r';
        *out++ = '\n';
    }
    return bytes;
}

QByteArray ProgramFileBytes(QByteArrayView text, const TProgramSlice& program)
{
    const QByteArrayView slice = text.sliced(program.Begin, program.End - program.Begin);
    // A line's Windows-1254 bytes are at most its UTF-8 bytes, and its CR LF at
    // most one byte more than its break (the last line may have none).
    QByteArray bytes(2 * slice.size() + 8, Qt::Uninitialized);
    AdviseHugePages(bytes);
    char* out = bytes.data();
    *out++ = '%';
    *out++ = '\r';
    *out++ = '\n';
    ForEachUtf8Line(slice, [&](QByteArrayView line) {
        const auto* in = reinterpret_cast<const unsigned char*>(line.data());
        const qsizetype size = line.size();
        qsizetype i = 0;
        for (; i < size && in[i] < 0x80; ++i)
            out[i] = in[i] == ':' ? 'O' : char(in[i]);
        if (i == size) {
            out += size;
        } else {
            // Rare: a line with letters beyond ASCII goes through the code page.
            QString decoded = QString::fromUtf8(line);
            decoded.replace(u':', u'O');
            out = EncodeAnsiTo(decoded, out);
        }
        *out++ = '\r';
        *out++ = '\n';
    });
    *out++ = '%';
    *out++ = '\r';
    *out++ = '\n';
    bytes.truncate(out - bytes.constData());
    return bytes;
}

int SaveAllPauseMs(qsizetype programs)
{
    if (programs < 2)
        return 0;
    const qint64 divisor = programs - 1, quotient = 2000 / divisor, twiceRest = 2 * (2000 % divisor);
    const bool up = twiceRest > divisor || (twiceRest == divisor && quotient % 2 == 1);
    return int(quotient + (up ? 1 : 0));
}

namespace {

// Makes the Velcarn folder and writes bytesOf(i) as the file of program i.
bool SaveAllFiles(const QString& folder, const QStringList& programNames,
    const std::function<QByteArray(qsizetype index)>& bytesOf, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach)
{
    const QString target = QDir(folder).filePath(ProgramFolderName);
    if (QFileInfo::exists(target)) {
        errorMsg = QString::fromUtf8(
            "SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNDE Velcarn KLASÖRÜ MEVCUT, BAŞKA BİR KONUM SEÇİNİZ");
        return false;
    }
    if (!QDir().mkdir(target)) {
        errorMsg = QString::fromUtf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNE Velcarn KLASÖRÜ AÇILAMADI.");
        return false;
    }
    // Every file written first and all of them made durable together at the
    // end: one wait for the disk instead of one per program. Success is
    // reported only once they all are on the disk.
    TFileSystemSync sync(target);
    const QStringList names = ProgramFileNames(programNames);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (QString error; !sync.WriteNewFile(names[i], bytesOf(i), error)) {
            errorMsg = QDir(target).filePath(names[i]) + ": " + error;
            return false;
        }
        if (afterEach)
            afterEach(i);
    }
    if (QString error; !sync.Sync(error)) {
        errorMsg = target + ": " + error;
        return false;
    }
    return true;
}

} // namespace

bool SaveAllPrograms(const QString& folder, const QList<TSplitProgram>& programs, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach)
{
    QStringList names;
    for (const TSplitProgram& program : programs)
        names.append(program.Name);
    return SaveAllFiles(
        folder, names, [&](qsizetype i) { return ProgramFileBytes(programs[i].Lines); }, errorMsg, afterEach);
}

bool SaveAllPrograms(const QString& folder, QByteArrayView text, const QList<TProgramSlice>& programs,
    QString& errorMsg, const std::function<void(qsizetype index)>& afterEach)
{
    QStringList names;
    for (const TProgramSlice& program : programs)
        names.append(program.Name);
    return SaveAllFiles(
        folder, names, [&](qsizetype i) { return ProgramFileBytes(text, programs[i]); }, errorMsg, afterEach);
}

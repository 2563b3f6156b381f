#include "UnitMazatrolCmt.h"

#include "CodePage.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr qsizetype TagLength = 4;
constexpr qsizetype WorkNoStart = 14; // 0-based start of header positions 15-22
constexpr qsizetype WorkNoLength = 8;
constexpr qsizetype DescriptionLengthStart = 26; // positions 27-28
constexpr qsizetype DescriptionStart = 28; // position 29 on
constexpr qsizetype ProgramFrameLength = 128;

QByteArray TagOf(const QByteArray& payload)
{
    return payload.left(TagLength);
}

// Whole decimal number or -1; a sign or blank is not a digit.
qint64 ParseWorkNo(const QByteArray& field)
{
    if (field.size() != WorkNoLength)
        return -1;
    qint64 value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

int ParseHexByte(const QByteArray& field)
{
    if (field.size() != 2)
        return 0;
    bool ok = false;
    const int value = field.toInt(&ok, 16);
    const bool digitsOnly = std::all_of(field.begin(), field.end(), [](char c) { return std::isxdigit(uchar(c)); });
    return ok && digitsOnly ? value : 0;
}

TCmtProgram ReadProgram(const QByteArray& header, qint32 open, qint32 close)
{
    TCmtProgram program;
    program.WorkNo = ParseWorkNo(header.mid(WorkNoStart, WorkNoLength));
    const int descriptionLength = ParseHexByte(header.mid(DescriptionLengthStart, 2));
    program.Description = DecodeAnsi(header.mid(DescriptionStart, descriptionLength)).trimmed();
    program.DataBlocks = close - open - 1;
    program.FirstFrame = open;
    program.LastFrame = close;
    return program;
}

// CmtChecksum(payload) == stored, without making the text: a file may hold millions of blocks.
bool ChecksumMatches(QByteArrayView payload, QByteArrayView stored)
{
    static const char digits[] = "0123456789ABCDEF";
    unsigned sum = 0;
    for (char c : payload)
        sum += uchar(c);
    sum &= 0xFF;
    return stored.size() == 2 && stored[0] == digits[sum >> 4] && stored[1] == digits[sum & 0xF];
}

// Each block of the data in order: its payload and whether its checksum holds.
template <typename TFn> void ForEachCmtBlock(const QByteArray& data, TFn&& fn)
{
    qsizetype p = 0;
    while (true) {
        p = data.indexOf(CmtStx, p);
        if (p < 0)
            break;
        const qsizetype e = data.indexOf(CmtEtx, p + 1);
        if (e < 0 || e + 2 >= data.size())
            break;
        const QByteArrayView payload(data.constData() + p + 1, e - p - 1);
        fn(payload, ChecksumMatches(payload, QByteArrayView(data.constData() + e + 1, 2)));
        p = e + 3;
        if (p < data.size() && data[p] == CmtEot)
            ++p;
    }
}

// printf's "%.4d": at least four digits, zero-padded, sign first.
QString AtLeastFourDigits(qint64 value)
{
    const QString digits = QString::number(value < 0 ? -value : value).rightJustified(4, u'0');
    return value < 0 ? "-" + digits : digits;
}

// The first TagLength bytes (fewer in a shorter payload), as TagOf.
QByteArrayView TagView(QByteArrayView payload)
{
    return payload.first(qMin(payload.size(), TagLength));
}

QString CmtControlRow(const QString& controlId, const QString& controlName)
{
    return "Kontrol: " + (controlName.isEmpty() ? controlId + " (bilinmiyor)" : controlName + " (" + controlId + ")");
}

QString CmtBlocksRow(qsizetype blocks, qint32 checksumErrors)
{
    return QString::fromUtf8("Blok: %1, checksum hatası: %2").arg(blocks).arg(checksumErrors);
}

QString CmtNotVerifiedRow()
{
    return QString::fromUtf8("Bu kontrol tipi için program bilgisi doğrulanmadı.");
}

QString CmtProgramRow(const TCmtProgram& p)
{
    // Joined in one step: a description may hold "%1" of its own.
    return AtLeastFourDigits(p.WorkNo) + "  " + p.Description + "  (" + QString::number(p.DataBlocks) + " blok)";
}

} // namespace

bool IsCmtData(const QByteArray& data)
{
    if (data.size() < 8 || data[0] != CmtStx)
        return false;
    bool sawEtx = false;
    for (qsizetype i = 1; i < data.size(); ++i) {
        const char c = data[i];
        if (c == CmtEtx)
            sawEtx = true;
        else if (c == CmtEot)
            return sawEtx;
        else if (c == CmtStx)
            return false;
    }
    return false;
}

QByteArray CmtChecksum(QByteArrayView payload)
{
    unsigned sum = 0;
    for (char c : payload)
        sum += uchar(c);
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}

QString CmtControlName(const QString& controlId)
{
    static const QList<std::pair<QString, QString>> names = {
        { "3121", "M32" },
        { "3122", "M+" },
        { "3111", "T32" },
        { "3115", "T+" },
        { "3117", "TFU" },
        { "3123", "MFU" },
        { "3100", "T2" },
        { "3180", "MRO" },
    };
    for (const auto& [id, name] : names)
        if (id == controlId)
            return name;
    return {};
}

bool ParseCmt(const QByteArray& data, TCmtInfo& info)
{
    info = TCmtInfo();
    ForEachCmtBlock(data, [&](QByteArrayView payload, bool ok) {
        info.Payloads.append(payload.toByteArray());
        info.ChecksumOk.append(ok);
        if (!ok)
            ++info.ChecksumErrors;
    });
    if (info.Payloads.isEmpty())
        return false;

    info.ControlId = DecodeAnsi(TagOf(info.Payloads.first()));
    info.ControlName = CmtControlName(info.ControlId);
    info.FieldsVerified = info.ControlId == QLatin1String("3117");
    if (info.FieldsVerified) {
        qint32 open = -1;
        for (qint32 j = 0; j < info.Payloads.size(); ++j) {
            const QByteArray tag = TagOf(info.Payloads[j]);
            if (tag == "1100") {
                open = j;
            } else if (tag == "1200" && open >= 0) {
                info.Programs.append(ReadProgram(info.Payloads[open], open, j));
                open = -1;
            }
        }
    }
    return true;
}

QByteArray FindCmtBlock(const TCmtInfo& info, const QByteArray& tag)
{
    for (const QByteArray& payload : info.Payloads)
        if (TagOf(payload) == tag)
            return payload;
    throw EQuillexError(QString::fromUtf8("CMT dosyasında %1 bloğu yok.").arg(QString::fromLatin1(tag)));
}

QByteArray BuildCmtFrame(const QByteArray& payload)
{
    return CmtStx + payload + CmtEtx + CmtChecksum(payload) + CmtEot;
}

QByteArray ExtractCmtProgram(const TCmtInfo& info, qint32 programIndex)
{
    if (!info.FieldsVerified || programIndex < 0 || programIndex >= info.Programs.size())
        throw EQuillexError(QString::fromUtf8("Bu CMT dosyasında program ayrı kaydedilemez."));
    const TCmtProgram& program = info.Programs[programIndex];

    const QByteArray identification = FindCmtBlock(info, "3117");
    QByteArray first = identification.left(4) + "00000001" + identification.mid(12);

    QByteArray frame = "3000" + info.Payloads[program.FirstFrame].mid(WorkNoStart, WorkNoLength) + "0100";
    if (frame.size() < ProgramFrameLength)
        frame = frame.leftJustified(ProgramFrameLength, '0');

    QList<QByteArray> blocks { first, frame, FindCmtBlock(info, "3200") };
    for (qint32 j = program.FirstFrame; j <= program.LastFrame; ++j)
        blocks.append(info.Payloads[j]);
    blocks.append(FindCmtBlock(info, "2000"));

    QByteArray result;
    for (const QByteArray& block : blocks)
        result += BuildCmtFrame(block);
    return result;
}

qsizetype CmtViewRowCount(const TCmtInfo& info)
{
    return info.FieldsVerified ? CmtViewHeadRows + info.Programs.size() : 3;
}

TCmtViewRow CmtViewRowAt(const TCmtInfo& info, qsizetype row)
{
    switch (row) {
    case 0:
        return { CmtControlRow(info.ControlId, info.ControlName), 0 };
    case 1:
        return { CmtBlocksRow(info.Payloads.size(), info.ChecksumErrors), 0 };
    case 2:
        if (!info.FieldsVerified)
            return { CmtNotVerifiedRow(), 0 };
        return { QString("Program: %1").arg(info.Programs.size()), 0 };
    case 3:
        return { QString(), 0 };
    default:
        break;
    }
    const qsizetype i = row - CmtViewHeadRows;
    return { CmtProgramRow(info.Programs.at(i)), qint32(i + 1) };
}

bool ForEachCmtViewRow(const QByteArray& data, const std::function<bool(const QString& row)>& sink)
{
    // First the counts the head rows give, then the program rows: neither
    // pass keeps a block or a program.
    qsizetype blocks = 0;
    qint32 checksumErrors = 0;
    qsizetype programs = 0;
    QString controlId;
    qint32 open = -1;
    ForEachCmtBlock(data, [&](QByteArrayView payload, bool ok) {
        if (blocks == 0)
            controlId = DecodeAnsi(TagView(payload).toByteArray());
        const QByteArrayView tag = TagView(payload);
        if (tag == "1100") {
            open = qint32(blocks);
        } else if (tag == "1200" && open >= 0) {
            ++programs;
            open = -1;
        }
        ++blocks;
        if (!ok)
            ++checksumErrors;
    });
    if (blocks == 0)
        return false;
    const bool verified = controlId == QLatin1String("3117");
    if (!sink(CmtControlRow(controlId, CmtControlName(controlId))) || !sink(CmtBlocksRow(blocks, checksumErrors)))
        return true;
    if (!verified) {
        sink(CmtNotVerifiedRow());
        return true;
    }
    if (!sink(QString("Program: %1").arg(programs)) || !sink(QString()))
        return true;
    qint32 index = 0;
    open = -1;
    QByteArray header;
    bool stopped = false;
    ForEachCmtBlock(data, [&](QByteArrayView payload, bool) {
        const QByteArrayView tag = TagView(payload);
        if (tag == "1100") {
            open = index;
            header = payload.toByteArray();
        } else if (tag == "1200" && open >= 0) {
            if (!stopped)
                stopped = !sink(CmtProgramRow(ReadProgram(header, open, index)));
            open = -1;
        }
        ++index;
    });
    return true;
}

QList<TCmtViewRow> CmtViewRows(const TCmtInfo& info)
{
    QList<TCmtViewRow> rows;
    const qsizetype count = CmtViewRowCount(info);
    rows.reserve(count);
    for (qsizetype row = 0; row < count; ++row)
        rows.append(CmtViewRowAt(info, row));
    return rows;
}

QString CmtProgramFileName(const TCmtProgram& program)
{
    return "mazatrol_" + AtLeastFourDigits(program.WorkNo) + ".cmt";
}

#pragma once
// Mazatrol CMT data: checksummed STX/ETX blocks. Reader, program table and the
// writer that cuts one program into a CMT file of its own.
#include "QuillexError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

struct TCmtProgram {
    qint64 WorkNo = -1;
    QString Description;
    qint32 DataBlocks = 0;
    qint32 FirstFrame = 0;
    qint32 LastFrame = 0;
};

struct TCmtInfo {
    QString ControlId;
    QString ControlName;
    bool FieldsVerified = false;
    QList<QByteArray> Payloads;
    QList<bool> ChecksumOk;
    qint32 ChecksumErrors = 0;
    QList<TCmtProgram> Programs;
};

constexpr char CmtStx = 0x02;
constexpr char CmtEtx = 0x03;
constexpr char CmtEot = 0x04;

bool IsCmtData(const QByteArray& data);
bool ParseCmt(const QByteArray& data, TCmtInfo& info);
QByteArray CmtChecksum(QByteArrayView payload);
QString CmtControlName(const QString& controlId);
QByteArray FindCmtBlock(const TCmtInfo& info, const QByteArray& tag);
QByteArray BuildCmtFrame(const QByteArray& payload);
QByteArray ExtractCmtProgram(const TCmtInfo& info, qint32 programIndex);

// One row of the CMT view's information list: its text and associated value
// (0 for information rows, the program's 1-based position for program rows).
struct TCmtViewRow {
    QString Text;
    qint32 Value = 0;
};
QList<TCmtViewRow> CmtViewRows(const TCmtInfo& info);
// The same rows one at a time, for lists too long to hold as texts: the
// control, the blocks, the program count and a blank row, then a row per program.
constexpr qsizetype CmtViewHeadRows = 4;
qsizetype CmtViewRowCount(const TCmtInfo& info);
TCmtViewRow CmtViewRowAt(const TCmtInfo& info, qsizetype row);
// The texts of CmtViewRows(ParseCmt(data)) handed to sink one by one, without
// keeping the blocks or the program table (a file may hold millions of
// programs); stops when sink answers false. False, and no row, when the data
// holds no block.
bool ForEachCmtViewRow(const QByteArray& data, const std::function<bool(const QString& row)>& sink);
// The file name proposed when one program is saved: "mazatrol_%.4d.cmt".
QString CmtProgramFileName(const TCmtProgram& program);

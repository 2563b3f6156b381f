// The restart check on the device's own program: the editor's program is
// checked only when its upload bytes are those the last upload that reached
// the device stored; otherwise nothing is checked and a read-back is offered.
#include "Loopback.h"

#include "content/ProgramText.h"
#include "history/HistoryFormat.h"
#include "history/StoredProgramCheck.h"

#include <QTest>

namespace {

// Tool 1 sets its state after the resume point (line 3, before "T1 M6" on
// line 4); tool 2 resumes on line 8 with everything set only before it.
const char* const Program = "%\r\n"
                            "O1000\r\n"
                            "G21 G90 G54 G17\r\n"
                            "T1 M6\r\n"
                            "S1000 M3\r\n"
                            "G0 X0 Y0 Z5\r\n"
                            "G1 Z-1 F100\r\n"
                            "G1 X10\r\n"
                            "T2 M6\r\n"
                            "G0 X20 Y0\r\n"
                            "G1 Z-1\r\n"
                            "G1 X30\r\n"
                            "M30\r\n"
                            "%";

const QList<TStartFromIndexEntry> Entries { { 0, 4, 0 }, { 1, 9, 0 } };

TTransferRecord UploadOf(const QByteArray& text)
{
    TTransferRecord record = NewTransferRecord(TTransferKind::Upload, "Tezgah 3", "127.0.0.1", "AABBCC");
    SetRecordBytes(record, UploadBytesOfText(NormalizeTextForUpload(text, false)));
    record.Success = true;
    return record;
}

} // namespace

class TestStoredProgramCheck : public QObject {
    Q_OBJECT
private slots:
    void whichProgramIsChecked_data()
    {
        QTest::addColumn<QByteArray>("editor");
        QTest::addColumn<bool>("editorHoldsText");
        QTest::addColumn<bool>("siemens");
        QTest::addColumn<int>("upload"); // 0 none, 1 ok, 2 failed, 3 read back other bytes, 4 read-back failed
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("readBackOffered");
        QTest::addColumn<QString>("message");

        const QByteArray program(Program);
        const QString noCopy = QString::fromUtf8(StoredProgramNoCopy);
        QTest::newRow("the uploaded program") << program << true << false << 1 << true << false << QString();
        // The editor holds the text as typed; its upload bytes are the same.
        QTest::newRow("as typed, before normalisation")
            << QByteArray(Program).replace("\r\n", "\n").replace("G21", "g21").replace("O1000\n", "O1000\n\n") << true
            << false << 1 << true << false << QString();
        QTest::newRow("edited after the upload")
            << QByteArray(Program).replace("X30", "X31") << true << false << 1 << false << true << noCopy;
        QTest::newRow("one line more") << program + "\r\nM30" << true << false << 1 << false << true << noCopy;
        QTest::newRow("no upload known") << program << true << false << 0 << false << true << noCopy;
        QTest::newRow("the upload failed") << program << true << false << 2 << false << true << noCopy;
        QTest::newRow("read back other bytes") << program << true << false << 3 << false << true << noCopy;
        QTest::newRow("read-back failed") << program << true << false << 4 << false << true << noCopy;
        QTest::newRow("a CMT file in the editor") << program << false << false << 1 << false << true << noCopy;
        QTest::newRow("SIEMENS control") << program << true << true << 1 << false << false
                                         << QString::fromUtf8("SIEMENS kontrolünün programı yorumlanmıyor; "
                                                              "güvenlik kontrolü yapılamadı.");
    }

    void whichProgramIsChecked()
    {
        QFETCH(QByteArray, editor);
        QFETCH(bool, editorHoldsText);
        QFETCH(bool, siemens);
        QFETCH(int, upload);
        QFETCH(bool, checked);
        QFETCH(bool, readBackOffered);
        QFETCH(QString, message);

        TStoredProgramCheckInput input;
        input.EditorText = editor;
        input.EditorHoldsText = editorHoldsText;
        input.Siemens = siemens;
        if (upload > 0) {
            TTransferRecord record = UploadOf(Program);
            record.Success = upload != 2;
            record.Verification = upload == 3 ? "mismatch" : upload == 4 ? "failed: zaman aşımı" : "verified";
            input.LastUpload = record;
        }
        const TStoredProgramCheck result = CheckEditorProgram(input, Entries);
        QCOMPARE(result.Checked, checked);
        QCOMPARE(result.ReadBackOffered, readBackOffered);
        if (!checked) {
            // Nothing checked: every entry shows why, none is all clear.
            QCOMPARE(result.Message, message);
            for (const TStartFromIndexEntry& entry : Entries) {
                QCOMPARE(result.Lines(entry.Index), QStringList { message });
                QVERIFY(!result.AllClear(entry.Index));
            }
            return;
        }
        QVERIFY(result.AllClear(0));
        QCOMPARE(result.Lines(0), QStringList { QString::fromUtf8(RestartAllClear) });
        QVERIFY(!result.AllClear(1));
        const QStringList warnings = result.Lines(1);
        QVERIFY2(warnings.contains(QString::fromUtf8("İlk kesmeden önce iş mili çalıştırılmıyor (M3/M4 yok).")),
            qPrintable(warnings.join('\n')));
        QVERIFY(
            warnings.contains(QString::fromUtf8("İş koordinat sistemi seçilmiyor (programda bu noktada G54 etkin).")));
        // An entry the check was not given is not all clear either.
        QVERIFY(!result.AllClear(7));
        QVERIFY(!result.Lines(7).contains(QString::fromUtf8(RestartAllClear)));
    }

    // What the device gives back is checked as the device holds it.
    void storedProgramChecked()
    {
        TStoredProgramCheckInput input;
        input.EditorText = Program;
        input.EditorHoldsText = true;
        input.LastUpload = UploadOf(Program);
        const TStoredProgramCheck fromEditor = CheckEditorProgram(input, Entries);
        const TStoredProgramCheck fromDevice
            = CheckStoredProgram(UploadBytesOfText(NormalizeTextForUpload(Program, false)), false, false, Entries);
        QVERIFY(fromDevice.Checked);
        for (const TStartFromIndexEntry& entry : Entries)
            QCOMPARE(fromDevice.Lines(entry.Index), fromEditor.Lines(entry.Index));

        // The lines are the device's: a program with a line more before the
        // tool changes puts other lines at the entries' line numbers.
        const TStoredProgramCheck shifted
            = CheckStoredProgram(QByteArray("(SETUP)\r\n") + Program, false, false, Entries);
        QVERIFY(shifted.Lines(0) != fromDevice.Lines(0));

        const QString notGCode
            = QString::fromUtf8("Cihazdaki program bir G-kodu metni değil; güvenlik kontrolü yapılamadı.");
        const TStoredProgramCheck raw = CheckStoredProgram(Program, true, false, Entries);
        QVERIFY(!raw.Checked);
        QVERIFY(!raw.ReadBackOffered);
        QCOMPARE(raw.Lines(0), QStringList { notGCode });
        QVERIFY(!raw.AllClear(0));
    }

    // An address where no device listens: nothing checked, the read-back offered again.
    void readBackFromNoDevice()
    {
        const TStoredProgramCheck result = ReadBackAndCheck(RunIp("40.1"), DownloadPort, false, Entries, 1 << 20, {});
        QVERIFY(!result.Checked);
        QVERIFY(result.ReadBackOffered);
        QVERIFY2(result.Message.startsWith(QString::fromUtf8("Cihazdan alınamadı (")), qPrintable(result.Message));
        QVERIFY(!result.AllClear(0));
    }
};

QTEST_GUILESS_MAIN(TestStoredProgramCheck)
#include "tst_storedprogramcheck.moc"

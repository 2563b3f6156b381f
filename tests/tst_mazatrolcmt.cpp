#include "content/UnitMazatrolCmt.h"

#include <QTest>

namespace {

// One block as a control writes it; checksum and EOT can be spoiled on purpose.
QByteArray Block(const QByteArray& payload, const QByteArray& checksum = {}, bool eot = true)
{
    return CmtStx + payload + CmtEtx + (checksum.isNull() ? CmtChecksum(payload) : checksum)
        + (eot ? QByteArray(1, CmtEot) : QByteArray());
}

// A program header: tag, filler to position 14, work number, filler, hex length, description.
QByteArray Header(const QByteArray& workNo, const QByteArray& description)
{
    return "1100" + QByteArray(10, 'x') + workNo + "yyyy"
        + QByteArray::number(description.size(), 16).toUpper().rightJustified(2, '0') + description;
}

// A 3117 file of two programs (7 'PART-A' with two data blocks, 12345 'B'
// with none), a 3000/3200/2000 frame, and one block with a wrong checksum.
QByteArray TwoProgramFile()
{
    return "\r\n" + Block("3117ABCDEFGH-rest-of-id") + Block("3000frame") + Block("3200table")
        + Block(Header("00000007", "  PART-A  ")) + Block("1500data", "00") + Block("1600data") + Block("1200end")
        + Block(Header("00012345", "B")) + Block("1200end") + Block("2000tail");
}

} // namespace

class TestMazatrolCmt : public QObject {
    Q_OBJECT
private slots:
    void checksum()
    {
        QCOMPARE(CmtChecksum("abc"), QByteArray("26"));
        QCOMPARE(CmtChecksum(""), QByteArray("00"));
        QCOMPARE(CmtChecksum(QByteArray(2, char(0xFF))), QByteArray("FE"));
    }

    void controlNames_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        for (auto [id, name] : { std::pair { "3121", "M32" }, { "3122", "M+" }, { "3111", "T32" }, { "3115", "T+" },
                 { "3117", "TFU" }, { "3123", "MFU" }, { "3100", "T2" }, { "3180", "MRO" }, { "9999", "" },
                 { "312", "" }, { " 3121", "" } })
            QTest::newRow(id) << QString(id) << QString(name);
    }
    void controlNames()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QCOMPARE(CmtControlName(id), name);
    }

    void isCmtData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("expected");
        QTest::newRow("one block") << Block("3117abcd") << true;
        QTest::newRow("seven bytes") << QByteArray("\x02"
                                                   "ab\x03"
                                                   "00\x04",
            7) << false;
        QTest::newRow("other first byte") << QByteArray(" ") + Block("3117abcd") << false;
        QTest::newRow("second STX before EOT") << QByteArray("\x02"
                                                             "abc\x02"
                                                             "def\x03"
                                                             "00\x04")
                                               << false;
        QTest::newRow("EOT before ETX") << QByteArray("\x02"
                                                      "abcdef\x04"
                                                      "\x03"
                                                      "00")
                                        << false;
        QTest::newRow("no EOT at all") << QByteArray("\x02"
                                                     "abcdefgh\x03"
                                                     "26")
                                       << false;
    }
    void isCmtData()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, expected);
        QCOMPARE(IsCmtData(data), expected);
    }

    void parseBlocks_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("controlId");
        QTest::newRow("single") << QByteArray("\x02"
                                              "abc\x03"
                                              "26\x04")
                                << 1 << 0 << "abc";
        QTest::newRow("wrong checksum") << QByteArray("\x02"
                                                      "abc\x03"
                                                      "27\x04")
                                        << 1 << 1 << "abc";
        QTest::newRow("no EOT") << QByteArray("\x02"
                                              "abc\x03"
                                              "26")
                                << 1 << 0 << "abc";
        QTest::newRow("ETX without checksum") << QByteArray("\x02"
                                                            "1100\x03")
                                              << 0 << 0 << "";
        QTest::newRow("one checksum byte") << QByteArray("\x02"
                                                         "1100\x03"
                                                         "2")
                                           << 0 << 0 << "";
        QTest::newRow("leading junk") << QByteArray("\r\n\0\0", 4) + Block("3121xy") << 1 << 0 << "3121";
        QTest::newRow("truncated last block") << Block("3121xy") + Block("1100")
                + QByteArray("\x02"
                             "12") << 2 << 0 << "3121";
        QTest::newRow("empty payload") << Block("") << 1 << 0 << "";
    }
    void parseBlocks()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, blocks);
        QFETCH(int, errors);
        QFETCH(QString, controlId);
        TCmtInfo info;
        QCOMPARE(ParseCmt(data, info), blocks > 0);
        QCOMPARE(info.Payloads.size(), blocks);
        QCOMPARE(info.ChecksumOk.size(), blocks);
        QCOMPARE(info.ChecksumErrors, errors);
        QCOMPARE(info.ControlId, controlId);
        QCOMPARE(info.FieldsVerified, false);
    }

    void lowerCaseChecksumCountsAsWrong()
    {
        const QByteArray payload = "3117"; // its checksum is CC
        const QByteArray upper = CmtChecksum(payload);
        QVERIFY(upper != upper.toLower());
        TCmtInfo info;
        QVERIFY(ParseCmt(Block(payload, upper.toLower()), info));
        QCOMPARE(info.ChecksumErrors, 1);
    }

    void programTable()
    {
        TCmtInfo info;
        QVERIFY(ParseCmt(TwoProgramFile(), info));
        QCOMPARE(info.ControlId, QString("3117"));
        QCOMPARE(info.ControlName, QString("TFU"));
        QVERIFY(info.FieldsVerified);
        QCOMPARE(info.Payloads.size(), 10);
        QCOMPARE(info.ChecksumErrors, 1);
        QCOMPARE(info.ChecksumOk[4], false);
        QCOMPARE(info.Programs.size(), 2);
        const TCmtProgram& a = info.Programs[0];
        QCOMPARE(a.WorkNo, 7);
        QCOMPARE(a.Description, QString("PART-A"));
        QCOMPARE(a.DataBlocks, 2);
        QCOMPARE(a.FirstFrame, 3);
        QCOMPARE(a.LastFrame, 6);
        const TCmtProgram& b = info.Programs[1];
        QCOMPARE(b.WorkNo, 12345);
        QCOMPARE(b.Description, QString("B"));
        QCOMPARE(b.DataBlocks, 0);
        QCOMPARE(b.FirstFrame, 7);
        QCOMPARE(b.LastFrame, 8);
    }

    void programTableRules()
    {
        // A forgotten "1100", a "1200" without an open program, and a header
        // whose fields are not numbers.
        const QByteArray data = Block("3117id") + Block("1200orphan") + Block(Header("0000001x", "ignored"))
            + Block("1100" + QByteArray(10, ' ') + "12 45678" + "yyyy" + "zzDESC") + Block("1500") + Block("1200");
        TCmtInfo info;
        QVERIFY(ParseCmt(data, info));
        QCOMPARE(info.Programs.size(), 1);
        QCOMPARE(info.Programs[0].WorkNo, -1);
        QCOMPARE(info.Programs[0].Description, QString());
        QCOMPARE(info.Programs[0].FirstFrame, 3);
        QCOMPARE(info.Programs[0].DataBlocks, 1);
    }

    // The rows streamed from the bytes are the rows of the parsed file, for
    // every shape of file; a sink that stops ends the rows there.
    void streamedRows_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("two programs") << TwoProgramFile();
        QTest::newRow("table rules") << Block("3117id") + Block("1200orphan") + Block(Header("0000001x", "ignored"))
                + Block("1100" + QByteArray(10, ' ') + "12 45678" + "yyyy" + "zzDESC") + Block("1500") + Block("1200");
        QTest::newRow("other control") << Block("3121id") + Block(Header("00000001", "A")) + Block("1200");
        QTest::newRow("unknown control, wrong checksums") << Block("9999", "00") + Block("1100", "zz");
        QTest::newRow("description holding %1")
            << Block("3117") + Block(Header("00000050", "50%1 OFF")) + Block("1200");
        QTest::newRow("truncated last block") << Block("3117xy") + Block(Header("00000001", "A"))
                + QByteArray("\x02"
                             "12");
        QTest::newRow("no block") << QByteArray("no blocks here");
    }
    void streamedRows()
    {
        QFETCH(QByteArray, data);
        TCmtInfo info;
        const bool parsed = ParseCmt(data, info);
        QStringList expected;
        if (parsed)
            for (const TCmtViewRow& row : CmtViewRows(info))
                expected << row.Text;
        QStringList streamed;
        QCOMPARE(ForEachCmtViewRow(data,
                     [&](const QString& row) {
                         streamed << row;
                         return true;
                     }),
            parsed);
        QCOMPARE(streamed, expected);
        QCOMPARE(CmtViewRowCount(info), parsed ? expected.size() : 3);
        int offered = 0;
        ForEachCmtViewRow(data, [&](const QString&) { return ++offered < 2; });
        QCOMPARE(offered, qMin(2, int(expected.size())));
    }

    void descriptionLengthIsHex()
    {
        const QByteArray header = "1100" + QByteArray(10, 'x') + "00000001" + "yyyy" + "0A" + "0123456789ABCDEF";
        TCmtInfo info;
        QVERIFY(ParseCmt(Block("3117") + Block(header) + Block("1200"), info));
        QCOMPARE(info.Programs[0].Description, QString("0123456789"));
    }

    void otherControlHasNoTable()
    {
        const QByteArray data = Block("3121id") + Block(Header("00000001", "A")) + Block("1200");
        TCmtInfo info;
        QVERIFY(ParseCmt(data, info));
        QCOMPARE(info.ControlName, QString("M32"));
        QVERIFY(!info.FieldsVerified);
        QVERIFY(info.Programs.isEmpty());
        QVERIFY_THROWS_EXCEPTION(EQuillexError, ExtractCmtProgram(info, 0));
    }

    void extractProgram()
    {
        TCmtInfo info;
        QVERIFY(ParseCmt(TwoProgramFile(), info));
        const QByteArray file = ExtractCmtProgram(info, 0);
        QVERIFY(IsCmtData(file));

        TCmtInfo single;
        QVERIFY(ParseCmt(file, single));
        QCOMPARE(single.ChecksumErrors, 0); // the spoiled block got a fresh checksum
        QCOMPARE(single.Payloads.size(), 3 + 4 + 1);
        QCOMPARE(single.Payloads[0], QByteArray("311700000001-rest-of-id"));
        const QByteArray frame = single.Payloads[1];
        QCOMPARE(frame.size(), 128);
        QVERIFY(frame.startsWith("3000000000070100000"));
        QCOMPARE(single.Payloads[2], QByteArray("3200table"));
        QCOMPARE(single.Payloads.mid(3, 4), info.Payloads.mid(3, 4));
        QCOMPARE(single.Payloads[7], QByteArray("2000tail"));
        QCOMPARE(single.Programs.size(), 1);
        QCOMPARE(single.Programs[0].WorkNo, 7);
        QCOMPARE(file.count(CmtEot), 8);
    }

    void extractShortHeaders()
    {
        TCmtInfo info;
        QVERIFY(ParseCmt(Block("3117abcd") + Block("3200") + Block("1100short") + Block("1200") + Block("2000"), info));
        const QByteArray file = ExtractCmtProgram(info, 0);
        TCmtInfo single;
        QVERIFY(ParseCmt(file, single));
        QCOMPARE(single.Payloads[0], QByteArray("311700000001"));
        QCOMPARE(single.Payloads[1], QByteArray("30000100").leftJustified(128, '0'));
    }

    void extractRefusals_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("message");
        const QString refused = QString::fromUtf8("Bu CMT dosyasında program ayrı kaydedilemez.");
        QTest::newRow("negative index") << TwoProgramFile() << -1 << refused;
        QTest::newRow("index past the end") << TwoProgramFile() << 2 << refused;
        QTest::newRow("no 3200 block") << Block("3117") + Block("1100") + Block("1200") + Block("2000") << 0
                                       << QString::fromUtf8("CMT dosyasında 3200 bloğu yok.");
        QTest::newRow("no 2000 block") << Block("3117") + Block("3200") + Block("1100") + Block("1200") << 0
                                       << QString::fromUtf8("CMT dosyasında 2000 bloğu yok.");
    }
    void extractRefusals()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, index);
        QFETCH(QString, message);
        TCmtInfo info;
        QVERIFY(ParseCmt(data, info));
        try {
            ExtractCmtProgram(info, index);
            QFAIL("no error raised");
        } catch (const EQuillexError& e) {
            QCOMPARE(e.Message(), message);
        }
    }
};

QTEST_GUILESS_MAIN(TestMazatrolCmt)
#include "tst_mazatrolcmt.moc"

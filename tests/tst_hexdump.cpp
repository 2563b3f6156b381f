#include "content/HexDump.h"

#include <QTest>

class TestHexDump : public QObject {
    Q_OBJECT
private slots:
    void twentyBytes()
    {
        QByteArray data;
        for (char c = 0x41; c <= 0x54; ++c)
            data += c;
        const QString expected = "00000000  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |ABCDEFGHIJKLMNOP|\r\n"
                                 "00000010  51 52 53 54"
            + QString(39, ' ') + "|QRST|\r\n";
        QCOMPARE(HexDumpText(data), expected);
    }

    void empty()
    {
        QCOMPARE(HexDumpText({}), QString());
        QCOMPARE(HexDumpBytes({}), QByteArray());
    }

    void bytesAreTheTextsLatin1()
    {
        QByteArray data;
        for (int i = 0; i < 4133; ++i)
            data += char((i * 37) & 0xFF);
        for (const qsizetype size : { 1, 16, 17, 4133 })
            QCOMPARE(HexDumpBytes(data.left(size)), HexDumpText(data.left(size)).toLatin1());
    }

    void nonPrintable()
    {
        const QByteArray data("\x00\x1F\x20\x7E\x7F\x80\xFF", 7);
        QCOMPARE(HexDumpText(data), "00000000  00 1F 20 7E 7F 80 FF" + QString(3 * 9 + 2, ' ') + " |.. ~...|\r\n");
    }

    void rowLayout_data()
    {
        QTest::addColumn<int>("size");
        for (int size : { 1, 8, 9, 15, 16, 17, 32, 4097 })
            QTest::newRow(QByteArray::number(size)) << size;
    }
    void rowLayout()
    {
        // Every row: offset, cells padded to the full width, bar, characters, bar, CR LF.
        QFETCH(int, size);
        QByteArray data(size, 'a');
        const QStringList rows = HexDumpText(data).split("\r\n");
        QCOMPARE(rows.size(), (size + 15) / 16 + 1);
        QCOMPARE(rows.last(), QString());
        for (int r = 0; r + 1 < rows.size(); ++r) {
            const int count = qMin(16, size - r * 16);
            QCOMPARE(rows[r].left(8), QString("%1").arg(r * 16, 8, 16, QChar('0')).toUpper());
            QCOMPARE(rows[r].size(), 8 + 2 + 49 + 2 + count + 1);
            QCOMPARE(rows[r].mid(59, 2), QString(" |"));
        }
    }

    // In pieces of whole rows, the dump is the same bytes, around every boundary.
    void inPieces_data()
    {
        QTest::addColumn<qsizetype>("size");
        const qsizetype piece = HexDumpPieceRows * HexDumpBytesPerRow;
        for (const qsizetype size :
            { qsizetype(0), qsizetype(1), qsizetype(16), qsizetype(17), piece - 1, piece, piece + 1, 3 * piece - 5 })
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void inPieces()
    {
        QFETCH(qsizetype, size);
        QByteArray data(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char(i * 7 + i / 251);
        QByteArray joined;
        int pieces = 0;
        QVERIFY(HexDumpInPieces(data, [&](QByteArrayView piece) {
            joined += piece;
            ++pieces;
            return true;
        }));
        QCOMPARE(joined, HexDumpBytes(data));
        QCOMPARE(pieces, int((HexDumpRowCount(size) + HexDumpPieceRows - 1) / HexDumpPieceRows));
        // A sink that refuses ends the dump at once.
        int offered = 0;
        QCOMPARE(HexDumpInPieces(data, [&](QByteArrayView) { return ++offered < 0; }), size == 0);
        QCOMPARE(offered, size == 0 ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestHexDump)
#include "tst_hexdump.moc"

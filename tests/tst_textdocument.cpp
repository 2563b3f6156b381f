#include "content/CodePage.h"
#include "content/EditorText.h"
#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "tests/support/ReferencePaths.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(TTextEncoding)
Q_DECLARE_METATYPE(TLineBreakStyle)

class TestTextDocument : public QObject {
    Q_OBJECT
private slots:
    void detect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TTextEncoding>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBFG0 \xC3\xBC") << TTextEncoding::Utf8 << true
                                    << QString::fromUtf8("G0 ü");
        QTest::newRow("UTF-16 LE mark") << QByteArray("\xFF\xFE"
                                                      "A\0\x1F\x01",
            6) << TTextEncoding::Utf16LE << true
                                        << QString::fromUtf8("Ağ");
        QTest::newRow("UTF-16 BE mark") << QByteArray("\xFE\xFF\0A\x01\x1F", 6) << TTextEncoding::Utf16BE << true
                                        << QString::fromUtf8("Ağ");
        QTest::newRow("UTF-8 without mark")
            << QByteArray("(\xC3\xBC)") << TTextEncoding::Utf8 << false << QString::fromUtf8("(ü)");
        QTest::newRow("ANSI u-umlaut") << QByteArray("(\xFC)") << TTextEncoding::Ansi << false
                                       << QString::fromUtf8("(ü)");
        QTest::newRow("ANSI Turkish letters")
            << QByteArray("\xD0\xDD\xDE\xF0\xFD\xFE") << TTextEncoding::Ansi << false << QString::fromUtf8("ĞİŞğış");
        QTest::newRow("plain ASCII") << QByteArray("G0") << TTextEncoding::Ansi << false << "G0";
        QTest::newRow("overlong is not UTF-8")
            << QByteArray("\xC0\xAF") << TTextEncoding::Ansi << false << DecodeAnsi(QByteArray("\xC0\xAF"));
        QTest::newRow("surrogate is not UTF-8")
            << QByteArray("\xED\xA0\x80") << TTextEncoding::Ansi << false << DecodeAnsi(QByteArray("\xED\xA0\x80"));
        QTest::newRow("cut sequence") << QByteArray("ab\xE2\x82") << TTextEncoding::Ansi << false
                                      << DecodeAnsi(QByteArray("ab\xE2\x82"));
        QTest::newRow("first high byte decides")
            << QByteArray("\xC3\xBC \xFC") << TTextEncoding::Utf8 << false << QString::fromUtf8("ü \uFFFD");
        QByteArray late(Utf8SniffLength, 'x');
        late += "\xFC";
        QTest::newRow("high byte past the sniff window")
            << late << TTextEncoding::Ansi << false << QString(Utf8SniffLength, 'x') + QString::fromUtf8("ü");
    }
    void detect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TTextEncoding, encoding);
        QFETCH(bool, mark);
        QFETCH(QString, text);
        const TTextDocument document = ReadTextDocument(bytes);
        QCOMPARE(document.Encoding, encoding);
        QCOMPARE(document.HasByteOrderMark, mark);
        QCOMPARE(document.Lines.join('\n'), text);
    }

    void lineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<TLineBreakStyle>("style");
        QTest::addColumn<bool>("trailing");
        QTest::newRow("CR LF") << "a\r\nb\r\n" << QStringList { "a", "b" } << TLineBreakStyle::CrLf << true;
        QTest::newRow("LF") << "a\nb" << QStringList { "a", "b" } << TLineBreakStyle::Lf << false;
        QTest::newRow("CR") << "a\rb\r" << QStringList { "a", "b" } << TLineBreakStyle::Cr << true;
        QTest::newRow("U+2028") << QString("a\u2028b\r\n") << QStringList { "a", "b" } << TLineBreakStyle::LineSeparator
                                << true;
        QTest::newRow("mixed LF and CR") << "a\nb\rc" << QStringList { "a", "b", "c" } << TLineBreakStyle::CrLf
                                         << false;
        QTest::newRow("none") << "abc" << QStringList { "abc" } << TLineBreakStyle::CrLf << false;
        QTest::newRow("empty") << "" << QStringList {} << TLineBreakStyle::CrLf << false;
        QTest::newRow("break only") << "\n" << QStringList { "" } << TLineBreakStyle::Lf << true;
        QTest::newRow("blank lines") << "\n\n" << QStringList { "", "" } << TLineBreakStyle::Lf << true;
        QTest::newRow("LF CR is two breaks")
            << "a\n\rb" << QStringList { "a", "", "b" } << TLineBreakStyle::CrLf << false;
    }
    void lineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QFETCH(TLineBreakStyle, style);
        QFETCH(bool, trailing);
        QStringList gotLines;
        TLineBreakStyle gotStyle;
        bool gotTrailing;
        SplitTextLines(text, gotLines, gotStyle, gotTrailing);
        QCOMPARE(gotLines, lines);
        QCOMPARE(gotStyle, style);
        QCOMPARE(gotTrailing, trailing);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray body = "%\nO1000 (\xC3\x87\xC4\x9E)\nT1 M6\n";
        QTest::newRow("UTF-8 mark LF") << QByteArray("\xEF\xBB\xBF") + body;
        QTest::newRow("UTF-8 CR LF no trailing") << QByteArray("%\r\nG0 (\xC3\xBC)\r\nM30");
        QTest::newRow("ANSI CR") << QByteArray("%\rG0 (\xFD\xF0)\r%\r");
        QTest::newRow("ANSI undefined bytes") << QByteArray("\x81\x8D\x8E\x8F\x90\x9D\x9E\r\n");
        QTest::newRow("UTF-16 LE CR LF") << QByteArray("\xFF\xFE%\0\r\0\n\0G\0\x1F\x01\r\0\n\0", 16);
        QTest::newRow("UTF-16 BE LF") << QByteArray("\xFE\xFF\0G\0\n\x01\x1F\0\n", 10);
        QTest::newRow("U+2028 in UTF-8") << QByteArray("G0\xE2\x80\xA8G1\xE2\x80\xA8");
        QTest::newRow("empty") << QByteArray();
    }
    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(WriteTextDocument(ReadTextDocument(bytes)), bytes);
    }

    void filesRoundTrip()
    {
        // The fixtures on disk, one per mark and line-break style.
        const QDir dir(QUILLEX_FIXTURES "/text");
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(files.size() >= 6);
        for (const QString& name : files) {
            QByteArray bytes;
            QString error;
            QVERIFY2(ReadWholeFile(dir.filePath(name), bytes, error), qPrintable(error));
            const TTextDocument document = ReadTextDocument(bytes);
            QVERIFY2(document.Lines.size() >= 3, qPrintable(name));
            QVERIFY2(WriteTextDocument(document) == bytes, qPrintable(name));
        }
    }

    // The editor's text in one pass: decoded, word-spaced and joined by the
    // shown line break, none after the last line.
    void editorText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("wordSpaces");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<TTextEncoding>("encoding");
        QTest::addColumn<TLineBreakStyle>("style");
        QTest::addColumn<bool>("trailing");
        using E = TTextEncoding;
        using L = TLineBreakStyle;
        QTest::newRow("CR LF, word spaces") << QByteArray("G1X1\r\nG2Y2.5Z3\r\n") << true
                                            << QByteArray("G1 X1\r\nG2 Y2.5 Z3") << E::Ansi << L::CrLf << true;
        QTest::newRow("no word spaces asked")
            << QByteArray("G1X1\r\n") << false << QByteArray("G1X1") << E::Ansi << L::CrLf << true;
        QTest::newRow("mixed breaks show as CR LF")
            << QByteArray("a\nb\r\nc\rd") << false << QByteArray("a\r\nb\r\nc\r\nd") << E::Ansi << L::CrLf << false;
        QTest::newRow("CR alone") << QByteArray("a\rb\r") << false << QByteArray("a\rb") << E::Ansi << L::Cr << true;
        QTest::newRow("empty lines kept")
            << QByteArray("\n\n") << false << QByteArray("\n") << E::Ansi << L::Lf << true;
        QTest::newRow("comments, quotes, expressions")
            << QByteArray("(1A)1B[2C]\"3D\"4E;5F\n6G") << true << QByteArray("(1A)1 B[2C]\"3D\"4 E;5F\n6 G") << E::Ansi
            << L::Lf << false;
        QTest::newRow("code page letters") << QByteArray("\xC7\xFD"
                                                         "1X\n")
                                           << true
                                           << QByteArray("\xC3\x87\xC4\xB1"
                                                         "1 X")
                                           << E::Ansi << L::Lf << true;
        QTest::newRow("UTF-8 with mark, line separator") << QByteArray("\xEF\xBB\xBF\xC3\xA7"
                                                                       "1A\xE2\x80\xA8"
                                                                       "2B\n")
                                                         << true
                                                         << QByteArray("\xC3\xA7"
                                                                       "1 A\r\n2 B")
                                                         << E::Utf8 << L::LineSeparator << true;
        QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE"
                                                 "1\0A\0\n\0",
            8) << true << QByteArray("1 A")
                                   << E::Utf16LE << L::Lf << true;
        QTest::newRow("empty file") << QByteArray() << true << QByteArray() << E::Ansi << L::CrLf << false;
        // Each invalid byte becomes three of U+FFFD: the decoded text outgrows
        // the file, and its last line ('%' here) must still come.
        QTest::newRow("UTF-8 with invalid bytes") << QByteArray("%\r\nG0 (\xC3\xA7\x80\x80)\r\nG1 \xC3"
                                                                "0\r\n%\r\n")
                                                  << false
                                                  << QByteArray("%\r\nG0 (\xC3\xA7\xEF\xBF\xBD\xEF\xBF\xBD)\r\nG1 "
                                                                "\xEF\xBF\xBD"
                                                                "0\r\n%")
                                                  << E::Utf8 << L::CrLf << true;
    }
    void editorText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, wordSpaces);
        QFETCH(QByteArray, text);
        const TEditorText editor = ReadEditorText(bytes, wordSpaces);
        QCOMPARE(editor.Utf8, text);
        QTEST(editor.Encoding, "encoding");
        QTEST(editor.LineBreak, "style");
        QTEST(editor.TrailingLineBreak, "trailing");
        // The same as the file's lines read one by one and joined.
        TTextDocument document = ReadTextDocument(bytes);
        if (wordSpaces)
            for (QString& line : document.Lines)
                line = InsertWordSpaces(line);
        QCOMPARE(editor.Utf8, JoinUtf8Lines(document.Lines, ShownLineBreak(document.LineBreak)));
        QCOMPARE(editor.TrailingLineBreak, document.TrailingLineBreak);
    }

    void newDocumentWritesAnsiCrLf()
    {
        TTextDocument document;
        document.Lines = QStringList { QString::fromUtf8("G0 (ş€)"), "M30" };
        QCOMPARE(WriteTextDocument(document), QByteArray("G0 (\xFE\x80)\r\nM30\r\n"));
        document.Lines = QStringList { QString::fromUtf8("(✓)") };
        QCOMPARE(WriteTextDocument(document), QByteArray("(?)\r\n"));
    }

    void ansiCodePageIsTurkish()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        const QString text = DecodeAnsi(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(text[0xDD], QChar(0x0130));
        QCOMPARE(text[0x80], QChar(0x20AC));
        QCOMPARE(EncodeAnsi(text), all);
    }

    void fileErrors()
    {
        QByteArray bytes;
        QString error;
        QVERIFY(!ReadWholeFile("/nonexistent/dir/file.nc", bytes, error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!WriteWholeFile("/nonexistent/dir/file.nc", "x", error));
        QVERIFY(!error.isEmpty());
    }

    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString notRegular = QString::fromUtf8("Normal bir dosya değil, okunmadı");
        QTest::newRow("endless device") << "/dev/zero" << notRegular;
        QTest::newRow("FIFO without a writer") << "fifo" << notRegular;
        QTest::newRow("folder") << "folder" << notRegular;
        QTest::newRow("over 1 GiB") << "sparse"
                                    << QString::fromUtf8(
                                           "Dosya çok büyük (1073741825 bayt; en fazla 1073741824 bayt okunur)");
    }
    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString path = kind;
        if (kind == "fifo") {
            path = dir.filePath("fifo");
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "folder") {
            path = dir.path();
        } else if (kind == "sparse") {
            path = dir.filePath("sparse.nc");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(MaxReadFileBytes + 1));
        }
        QElapsedTimer clock;
        clock.start();
        QByteArray bytes;
        QString error;
        QVERIFY(!ReadWholeFile(path, bytes, error));
        QCOMPARE(error, message);
        QVERIFY(bytes.isEmpty());
        QVERIFY(clock.elapsed() < 1000); // refused before reading, never blocked
    }
};

QTEST_GUILESS_MAIN(TestTextDocument)
#include "tst_textdocument.moc"

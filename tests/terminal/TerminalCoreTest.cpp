#include "TestFiles.h"

#include "terminal/HexText.h"
#include "terminal/ReceiveDisplayText.h"
#include "terminal/SendTextFile.h"
#include "terminal/TerminalInbox.h"
#include "terminal/TerminalPort.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

// The terminal's UI-free half: hex text, port layer, display text, files.
class TerminalCoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hexDigitValueTakesBothCasesOnly()
    {
        for (int c = 0; c < 128; ++c) {
            int nExpected = -1;
            if (c >= '0' && c <= '9')
                nExpected = c - '0';
            else if (c >= 'A' && c <= 'F')
                nExpected = c - 'A' + 10;
            else if (c >= 'a' && c <= 'f')
                nExpected = c - 'a' + 10;
            QCOMPARE(HexDigitValue(QChar(c)), nExpected);
        }
        QCOMPARE(HexDigitValue(QChar(0xFF10)), -1); // full-width digit zero
    }

    void parseHexText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("stoppedAt");
        QTest::newRow("spaced pairs") << "0A 1b FF" << QByteArray("\x0A\x1B\xFF") << 8;
        QTest::newRow("packed pairs") << "0A1bFF" << QByteArray("\x0A\x1B\xFF") << 6;
        QTest::newRow("spaces around") << " 0A  1B " << QByteArray("\x0A\x1B") << 8;
        QTest::newRow("one digit") << "5" << QByteArray() << 0;
        QTest::newRow("split pair") << "1 2" << QByteArray() << 0;
        QTest::newRow("pair then lone digit") << "0A 1" << QByteArray("\x0A") << 3;
        QTest::newRow("comma ends") << "0A,1B" << QByteArray("\x0A") << 2;
        QTest::newRow("line break ends") << "0A 1B\r\n2C" << QByteArray("\x0A\x1B") << 5;
        QTest::newRow("lf ends") << "0A\n1B" << QByteArray("\x0A") << 2;
        QTest::newRow("empty") << "" << QByteArray() << 0;
        QTest::newRow("only spaces") << "   " << QByteArray() << 3;
        QTest::newRow("non-hex") << "GG" << QByteArray() << 0;
        QTest::newRow("zero byte") << "00 41" << QByteArray("\x00\x41", 2) << 5;
    }

    void parseHexText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(int, stoppedAt);
        QByteArray parsed("stale");
        qsizetype nStop = -1;
        QCOMPARE(ParseHexText(text, parsed, &nStop), bytes.size());
        QCOMPARE(parsed, bytes);
        QCOMPARE(nStop, qsizetype(stoppedAt));
    }

    void parseHexTextOnARandomCorpus()
    {
        QRandomGenerator random(20261208);
        const QString strAlphabet = QStringLiteral("0123456789abcdefABCDEF   ,\r\nxZ中");
        for (int n = 0; n < 4000; ++n) {
            QString strText;
            const int nLen = random.bounded(0, 120);
            for (int i = 0; i < nLen; ++i)
                strText.append(strAlphabet.at(random.bounded(strAlphabet.size())));
            QByteArray bytes;
            qsizetype nStop = -1;
            const int nCount = ParseHexText(strText, bytes, &nStop);
            QVERIFY(nCount <= nLen / 2);
            QCOMPARE(bytes.size(), nCount);
            QVERIFY(nStop >= 0 && nStop <= nLen);
            // What was taken parses alone to the same bytes and is taken whole.
            QByteArray prefixBytes;
            qsizetype nPrefixStop = -1;
            ParseHexText(strText.left(nStop), prefixBytes, &nPrefixStop);
            QCOMPARE(prefixBytes, bytes);
            QCOMPARE(nPrefixStop, nStop);
        }
    }

    void blankTailIsSpacesAndLineBreaksOnly()
    {
        QVERIFY(IsBlankTail(QStringLiteral("41 \r\n \t"), 2));
        QVERIFY(IsBlankTail(QStringLiteral("41"), 2));
        QVERIFY(!IsBlankTail(QStringLiteral("41 4"), 2));
    }

    void hexPiecesAreTwoUpperDigitsAndASpace()
    {
        QCOMPARE(CTerminalPort::HexPieces(QByteArray("\x05")), QByteArray("05 "));
        QCOMPARE(CTerminalPort::HexPieces(QByteArray("\xA0")), QByteArray("A0 "));
        QCOMPARE(CTerminalPort::HexPieces(QByteArray("\x00\xFF\x0a", 3)), QByteArray("00 FF 0A "));
        QCOMPARE(CTerminalPort::HexPieces(QByteArray()), QByteArray());
    }

    void receiveLogsCountsAndRebuildsOnModeSwitch()
    {
        CTerminalPort port(nullptr);
        QCOMPARE(port.OnTerminalReceive("AB"), QByteArray("AB"));
        QCOMPARE(port.OnTerminalReceive(QByteArray()), QByteArray());
        port.SetHexDisplay(true);
        QCOMPARE(port.ReceiveText(), QByteArray("41 42 "));
        QCOMPARE(port.OnTerminalReceive(QByteArray("\x00", 1)), QByteArray("00 "));
        QCOMPARE(port.ReceiveText(), QByteArray("41 42 00 "));
        port.SetHexDisplay(false);
        QCOMPARE(port.ReceiveText(), QByteArray("AB\0", 3));
        QCOMPARE(port.ReceivedLog(), QByteArray("AB\0", 3));
        QCOMPARE(port.ReceivedBytes(), 3u);

        // A block far over the old 2048-byte working buffer is taken whole.
        const QByteArray big(100000, 'x');
        port.OnTerminalReceive(big);
        QCOMPARE(port.ReceivedBytes(), 100003u);
        QCOMPARE(port.ReceivedLog().size(), 100003);

        port.SendTextData("abc");
        port.EmptyReceived();
        QVERIFY(port.ReceiveText().isEmpty() && port.ReceivedLog().isEmpty());
        QCOMPARE(port.ReceivedBytes(), 100003u);
        QCOMPARE(port.SentBytes(), 3u);
        port.ClearReceive();
        QCOMPARE(port.ReceivedBytes(), 0u);
        QCOMPARE(port.SentBytes(), 0u);
    }

    void writesWithoutALinkCountButGoNowhere()
    {
        CTerminalPort port(nullptr);
        port.SendTextData("abc");
        port.SendByteData(QByteArray("\x01\x02", 2));
        port.SendTextData(QByteArray());
        QCOMPARE(port.SentBytes(), 5u);
    }

    void speedIsBytesSinceTheLastTickOver1024()
    {
        CTerminalPort port(nullptr);
        QCOMPARE(port.TakeSpeedText(), QStringLiteral("0.00 KB/S"));
        port.OnTerminalReceive(QByteArray(1024, 'a'));
        QCOMPARE(port.TakeSpeedText(), QStringLiteral("1.00 KB/S"));
        QCOMPARE(port.TakeSpeedText(), QStringLiteral("0.00 KB/S"));
        port.OnTerminalReceive(QByteArray(256, 'a'));
        QCOMPARE(port.TakeSpeedText(), QStringLiteral("0.25 KB/S"));
        // Clearing resets the base with the count, so no negative jump follows.
        port.OnTerminalReceive(QByteArray(10, 'a'));
        port.ClearReceive();
        port.OnTerminalReceive(QByteArray(512, 'a'));
        QCOMPARE(port.TakeSpeedText(), QStringLiteral("0.50 KB/S"));
    }

    void sendTextGoesOutAsGbkWithCrLf()
    {
        QCOMPARE(CTerminalPort::EncodeSendText(QStringLiteral("S01;ADR?;\nx")),
                 QByteArray("S01;ADR?;\r\nx"));
        QCOMPARE(CTerminalPort::EncodeSendText(QStringLiteral("a\r\nb")), QByteArray("a\r\nb"));
        QCOMPARE(CTerminalPort::EncodeSendText(QStringLiteral("中")), QByteArray("\xD6\xD0"));
        QCOMPARE(CTerminalPort::EncodeSendText(QString()), QByteArray());
    }

    void displayKeepsACharacterSplitAcrossBlocksWhole()
    {
        CReceiveDisplayText display;
        QString strShown = display.Convert(QByteArray("A\xD6"), false);
        strShown += display.Convert(QByteArray("\xD0"
                                               "B"),
                                    false);
        QCOMPARE(strShown, QStringLiteral("A中B"));
        // A CR LF split across blocks is one line break, a lone CR is one too.
        strShown = display.Convert("x\r", false);
        strShown += display.Convert("\ny\rz", false);
        QCOMPARE(strShown, QStringLiteral("x\ny\nz"));
        display.Reset();
        QCOMPARE(display.Convert(QByteArray("\xD6\xD0", 2), false), QStringLiteral("中"));
    }

    void displayShowsZeroBytesAndInvalidBytes()
    {
        CReceiveDisplayText display;
        const QString strShown = display.Convert(QByteArray("\x00"
                                                            "after",
                                                            6),
                                                 false);
        QCOMPARE(strShown,
                 QString(QChar(CReceiveDisplayText::kZeroMark)) + QStringLiteral("after"));
        const QString strInvalid = display.Convert(QByteArray("\x81\x7F"
                                                              "ok"),
                                                   false);
        QVERIFY(strInvalid.contains(QChar(QChar::ReplacementCharacter)));
        QVERIFY(strInvalid.endsWith(QStringLiteral("ok")));
    }

    void displayBreaksOverlongLinesAndRebuildsATail()
    {
        CReceiveDisplayText display;
        const qsizetype nMax = CReceiveDisplayText::kMaxLineChars;
        const QString strShown = display.Convert(QByteArray(nMax * 2 + 5, 'a'), false);
        const QStringList lines = strShown.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].size(), nMax);
        QCOMPARE(lines[2].size(), 5);

        QByteArray text;
        for (int i = 0; i < 1000; ++i)
            text.append(QByteArray::number(i) + "\r\n");
        const QString strTail = display.Rebuild(text, false, 100);
        QVERIFY(strTail.size() <= 100);
        QVERIFY(strTail.startsWith(QStringLiteral("9")));
        QVERIFY(strTail.endsWith(QStringLiteral("999\n")));

        const QByteArray hex = CTerminalPort::HexPieces(QByteArray(1000, '\x5A'));
        const QString strHexTail = display.Rebuild(hex, true, 100);
        QVERIFY(strHexTail.size() <= 100);
        QVERIFY(strHexTail.startsWith(QStringLiteral("5A 5A")));
    }

    void sendTextFileRoundTrips_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("two lines") << QByteArray("A\r\nB\r\n") << "A\nB\n"
                                   << QByteArray("A\r\nB\r\n");
        QTest::newRow("no final line end")
            << QByteArray("A\r\nB") << "A\nB" << QByteArray("A\r\nB");
        QTest::newRow("lf only") << QByteArray("A\nB\n") << "A\nB\n" << QByteArray("A\r\nB\r\n");
        QTest::newRow("cr only") << QByteArray("A\rB") << "A\nB" << QByteArray("A\r\nB");
        QTest::newRow("gbk") << QByteArray("\xD6\xD0\xCE\xC4\r\n") << QStringLiteral("中文\n")
                             << QByteArray("\xD6\xD0\xCE\xC4\r\n");
        QTest::newRow("empty") << QByteArray() << "" << QByteArray();
    }

    void sendTextFileRoundTrips()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        CSendTextFile sendFile(dir.path());
        QVERIFY(WriteFile(sendFile.Path(), file));
        QString strLoaded;
        QVERIFY(sendFile.Load(strLoaded));
        QCOMPARE(strLoaded, text);
        QVERIFY(sendFile.Save(strLoaded));
        QCOMPARE(ReadFile(sendFile.Path()), saved);
        // What is sent after a restart is what was saved: no bytes added.
        QCOMPARE(CTerminalPort::EncodeSendText(strLoaded), saved);
    }

    void sendTextFileIsCreatedAndReplacedWhole()
    {
        QTemporaryDir dir;
        CSendTextFile sendFile(dir.path());
        QVERIFY(sendFile.Path().endsWith(QStringLiteral("/Comassist.dat")));
        QString strText = QStringLiteral("stale");
        QVERIFY(sendFile.Load(strText));
        QVERIFY(strText.isEmpty());
        QVERIFY(QFile::exists(sendFile.Path()));

        QVERIFY(sendFile.Save(QStringLiteral("S01;ADR?;")));
        {
            // Over the size limit the save fails and the previous text stays.
            CFileSizeLimit limit(4096);
            QVERIFY(!sendFile.Save(QString(10000, QLatin1Char('x'))));
        }
        QVERIFY(!sendFile.ErrorText().isEmpty());
        QCOMPARE(ReadFile(sendFile.Path()), QByteArray("S01;ADR?;"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Comassist.dat"});
    }

    void unusableSendTextFileFailsCleanly()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Comassist.dat")));
        CSendTextFile sendFile(dir.path());
        QString strText = QStringLiteral("stale");
        QVERIFY(!sendFile.Load(strText));
        QVERIFY(strText.isEmpty());
        QVERIFY(!sendFile.Save(QStringLiteral("x")));
        QVERIFY(QFileInfo(sendFile.Path()).isDir());
    }

    void inboxDeliversBlocksWholeAndInOrder()
    {
        QObject target;
        QByteArray received;
        int nCalls = 0;
        auto pInbox = std::make_shared<CTerminalInbox>(&target, [&](const QByteArray& data) {
            received.append(data);
            ++nCalls;
        });
        QByteArray sent;
        std::thread pusher([&] {
            for (int i = 0; i < 2000; ++i) {
                const QByteArray block =
                    QByteArray::number(i) + QByteArray(i % 3000, char('a' + i % 26));
                sent.append(block);
                pInbox->Push(block);
            }
        });
        pusher.join();
        QTRY_COMPARE(received.size(), sent.size());
        QCOMPARE(received, sent);
        QVERIFY(nCalls >= 1 && nCalls < 2000); // coalesced while the loop was busy

        pInbox->Push("late");
        pInbox->Detach();
        pInbox->Push("after");
        QTest::qWait(50);
        QCOMPARE(received.size(), sent.size());
    }
};

QTEST_GUILESS_MAIN(TerminalCoreTest)
#include "TerminalCoreTest.moc"

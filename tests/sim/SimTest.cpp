#include "sim/PtySimulator.h"
#include "sim/SimBus.h"
#include "sim/SimFaultPlan.h"
#include "sim/SimFrameSplitter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace {

SimOptions Quiet(QList<int> arrAddresses = {1, 3, 17})
{
    SimOptions options;
    options.m_arrAddresses = arrAddresses;
    options.m_nLoadSwing = 0;
    options.m_nNoise = 0;
    options.m_nCaptureDelayMs = 0;
    return options;
}

qint32 Decode(const QByteArray& reply)
{
    qint32 n = (quint8(reply[0]) << 16) | (quint8(reply[1]) << 8) | quint8(reply[2]);
    return n >= 0x800000 ? n - 0x1000000 : n;
}

// Writes a frame to the device and collects what comes back within nWaitMs.
QByteArray Ask(int fd, const QByteArray& frame, int nWaitMs = 500)
{
    if (::write(fd, frame.constData(), frame.size()) != frame.size())
        return {};
    QByteArray reply;
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, reply.endsWith("\r\n") ? 30 : nWaitMs) > 0) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        reply.append(buffer, n);
    }
    return reply;
}

int OpenRaw(const QString& strPath)
{
    const int fd = ::open(strPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

} // namespace

class SimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameSplitting()
    {
        using namespace std::chrono_literals;
        CSimFrameSplitter splitter;
        CSimFrameSplitter::Clock::time_point t{};

        // Split across reads, and two frames in one read.
        QVERIFY(splitter.Feed("S01;MS", t).isEmpty());
        auto frames = splitter.Feed("V?;", t += 1ms);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].m_text, QByteArray("S01;MSV?;"));
        QCOMPARE(frames[0].m_nAddress, 1);
        frames = splitter.Feed("S02;ADR?;S17;SPW\"a;b\";FMD1;", t += 1ms);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[1].m_nAddress, 17);
        // A ';' inside quotes does not end a command.
        QCOMPARE(frames[1].m_commands, (QList<QByteArray>{"SPW\"a;b\"", "FMD1"}));

        // Junk before a frame is skipped; a tail is dropped after a silence.
        QCOMPARE(splitter.Feed("\x13\x37S03;ADR?;", t += 1ms).size(), 1);
        QVERIFY(splitter.Feed("S04;FM", t += 1ms).isEmpty());
        frames = splitter.Feed("D?;", t += CSimFrameSplitter::kTailTimeout + 1ms);
        QVERIFY(frames.isEmpty());
        // A fresh frame cuts off an unfinished one.
        QVERIFY(splitter.Feed("S05;FM", t += 1ms).isEmpty());
        frames = splitter.Feed("S06;ADR?;", t += 1ms);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].m_nAddress, 6);
    }

    void frameSplitterBoundsANoiseStream_data()
    {
        QTest::addColumn<QByteArray>("opening");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<qsizetype>("nBound");
        // A quote that never closes, a command that never ends, and commands
        // that keep coming without the frame ever ending on a boundary.
        QTest::newRow("open quote")
            << QByteArray("S01;\"") << QByteArray(64, 'x') << CSimFrameSplitter::kMaxCommandLen + 4;
        QTest::newRow("endless command") << QByteArray("S01;SPW") << QByteArray(512, 'y')
                                         << CSimFrameSplitter::kMaxCommandLen + 4;
        QTest::newRow("endless frame")
            << QByteArray("S01;") << QByteArray("AB;CD") << CSimFrameSplitter::kMaxPending;
    }

    void frameSplitterBoundsANoiseStream()
    {
        using namespace std::chrono_literals;
        QFETCH(QByteArray, opening);
        QFETCH(QByteArray, block);
        QFETCH(qsizetype, nBound);
        CSimFrameSplitter splitter;
        CSimFrameSplitter::Clock::time_point t{};
        // A steady stream with no pause long enough to drop the tail.
        QVERIFY(splitter.Feed(opening, t).isEmpty());
        qsizetype nMaxKept = 0;
        for (int i = 0; i < 20000; ++i) {
            QVERIFY(splitter.Feed(block, t += 1ms).isEmpty());
            nMaxKept = qMax(nMaxKept, splitter.Pending().size());
        }
        QVERIFY2(nMaxKept <= nBound, qPrintable(QString::number(nMaxKept)));
        // After the noise, a frame is a frame again.
        const auto frames = splitter.Feed("S01;MSV?;", t += 200ms);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].m_text, QByteArray("S01;MSV?;"));
    }

    void frameSplitterWaitsForAFrameStartCutBetweenBlocks()
    {
        using namespace std::chrono_literals;
        CSimFrameSplitter splitter;
        CSimFrameSplitter::Clock::time_point t{};
        // "S0" at the end of a block may begin the next frame or belong to a command.
        QVERIFY(splitter.Feed("S01;A;S0", t).isEmpty());
        auto frames = splitter.Feed("2;B;", t += 1ms);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].m_text, QByteArray("S01;A;"));
        QCOMPARE(frames[1].m_text, QByteArray("S02;B;"));
        QVERIFY(splitter.Feed("S01;A;S", t += 1ms).isEmpty());
        frames = splitter.Feed("X;", t += 1ms);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].m_commands, (QList<QByteArray>{"A", "SX"}));
    }

    void onlyTheAddressedModuleAnswers()
    {
        CSimBus bus(Quiet());
        QCOMPARE(bus.Process("S03;ADR?;"), QByteArray("03\r\n"));
        QCOMPARE(bus.Process("S17;adr?;"), QByteArray("17\r\n"));
        QCOMPARE(bus.Process("S02;ADR?;"), QByteArray());
        QCOMPARE(bus.Process("S01;XYZ?;"), QByteArray("?\r\n"));
        // Split across writes, the frame is still one frame.
        QCOMPARE(bus.Process("S01;FM"), QByteArray());
        QCOMPARE(bus.Process("D?;"), QByteArray("0\r\n"));
    }

    // A simulator serving for days keeps only its newest frames.
    void frameLogKeepsTheNewestFrames()
    {
        CSimBus bus(Quiet());
        const qsizetype nFrames = 3 * CSimBus::kFrameLogLimit;
        for (qsizetype i = 0; i < nFrames; ++i)
            bus.Process("S03;ID" + QByteArray::number(i) + ";");
        const QList<QByteArray> arrLog = bus.FrameLog();
        QVERIFY(arrLog.size() >= CSimBus::kFrameLogLimit);
        QVERIFY(arrLog.size() <= 2 * CSimBus::kFrameLogLimit);
        for (qsizetype i = 0; i < arrLog.size(); ++i)
            QCOMPARE(arrLog[i], "S03;ID" + QByteArray::number(nFrames - arrLog.size() + i) + ";");
    }

    void replyFormatsAndLengths()
    {
        CSimBus bus(Quiet({1}));
        QCOMPARE(bus.Process("S01;TAV?;").size(), 10);
        QCOMPARE(bus.Process("S01;LDW?;").size(), 10);
        QCOMPARE(bus.Process("S01;NOV?;"), QByteArray("+010000\r\n"));
        const QByteArray idn = bus.Process("S01;IDN?;");
        QCOMPARE(idn.size(), 33);
        QCOMPARE(idn.at(3), ',');
        QCOMPARE(idn.at(19), ',');
        QCOMPARE(idn.at(27), ',');
        QVERIFY(idn.endsWith("\r\n"));

        // Binary value, check byte zero while the checksum is off.
        QByteArray msv = bus.Process("S01;MSV?;");
        QCOMPARE(msv.size(), 6);
        QCOMPARE(msv.at(3), '\0');
        QVERIFY(msv.endsWith("\r\n"));
        QCOMPARE(bus.Process("S01;CSM1;"), QByteArray("0\r\n"));
        msv = bus.Process("S01;MSV?;");
        QCOMPARE(quint8(msv[3]), quint8(msv[0] ^ msv[1] ^ msv[2]));
        // Other output formats answer in text.
        QCOMPARE(bus.Process("S01;COF0;"), QByteArray("0\r\n"));
        const QByteArray text = bus.Process("S01;MSV?;");
        QCOMPARE(text.size(), 10);
        QCOMPARE(text.toInt(), Decode(msv));
    }

    void unlockGainStoreAndPowerCycle()
    {
        CSimBus bus(Quiet({1}));
        QCOMPARE(bus.Process("S01;FMD1;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;TAR;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;SPW\"NiLOx\";"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;FMD1;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;GAN3;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;SPW\"WaRkuTE\";GAN3;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;GAN?;"), QByteArray("3\r\n"));
        // The gain password counts for its own frame only.
        QCOMPARE(bus.Process("S01;GAN4;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;ICR96;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;ICR97;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;TDD1;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;FMD0;"), QByteArray("0\r\n"));
        bus.PowerCycle();
        QCOMPARE(bus.Process("S01;FMD?;"), QByteArray("1\r\n"));
        QCOMPARE(bus.Process("S01;ICR?;"), QByteArray("96\r\n"));
        QCOMPARE(bus.Process("S01;FMD0;"), QByteArray("?\r\n"));
    }

    void addressChange()
    {
        CSimBus bus(Quiet({12, 3}));
        QCOMPARE(bus.Process("S12;SPW\"NiLOx\";"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S12;adr03;"), QByteArray("?\r\n")); // taken
        QCOMPARE(bus.Process("S12;adr05;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S12;ADR?;"), QByteArray());
        QCOMPARE(bus.Process("S05;ADR?;"), QByteArray("05\r\n"));
        QCOMPARE(bus.Process("S05;TDD1;"), QByteArray("0\r\n"));
    }

    void tareNetAndCaptures()
    {
        CSimBus bus(Quiet({1}));
        QVERIFY(bus.SetExtraLoad(1, 80000));
        const qint32 nGross = Decode(bus.Process("S01;MSV?;"));
        QVERIFY(nGross > 0);
        QCOMPARE(bus.Process("S01;TAR;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;TAV?;"), QString::asprintf("%+08d\r\n", nGross).toLatin1());
        QCOMPARE(bus.Process("S01;TAS1;"), QByteArray("0\r\n"));
        QCOMPARE(Decode(bus.Process("S01;MSV?;")), 0);
        QCOMPARE(bus.Process("S01;TAS0;"), QByteArray("0\r\n"));
        QCOMPARE(Decode(bus.Process("S01;MSV?;")), nGross);

        // Zero and full load capture the raw signal, refused while locked.
        QVERIFY(bus.SetExtraLoad(1, 0));
        QCOMPARE(bus.Process("S01;LDW;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;SPW\"NiLOx\";"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;LDW;"), QByteArray("0\r\n"));
        const QByteArray zero = bus.Process("S01;LDW?;");
        QCOMPARE(zero.size(), 10);
        QVERIFY(bus.SetExtraLoad(1, 50000));
        QCOMPARE(bus.Process("S01;LWT;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;LWT?;").toInt() - zero.toInt(), 50000);
        QCOMPARE(Decode(bus.Process("S01;MSV?;")), 10000); // full load reads the nominal value
        // Equal points: the raw signal is the value, clamped to 24 bits.
        QVERIFY(bus.SetRaw(1, 9000000));
        QCOMPARE(bus.Process("S01;LWT;"), QByteArray("0\r\n"));
        QCOMPARE(bus.Process("S01;LDW;"), QByteArray("0\r\n"));
        QCOMPARE(Decode(bus.Process("S01;MSV?;")), 0x7FFFFF);
        QCOMPARE(bus.Process("S01;RLN9;"), QByteArray("?\r\n"));
        QCOMPARE(bus.Process("S01;RLC8,1;"), QByteArray("?\r\n"));
    }

    void faults()
    {
        CSimBus bus(Quiet({1}));
        SimFaults faults;
        QString strError;
        QVERIFY(faults.Apply("drop=2", strError));
        bus.SetFaults(faults);
        QList<bool> answered;
        for (int i = 0; i < 4; ++i)
            answered << !bus.Process("S01;ADR?;").isEmpty();
        QCOMPARE(answered.count(false), 2);

        faults = SimFaults();
        QVERIFY(faults.Apply("corrupt-check", strError));
        bus.SetFaults(faults);
        bus.Process("S01;CSM1;");
        const QByteArray msv = bus.Process("S01;MSV?;");
        QVERIFY(quint8(msv[3]) != quint8(msv[0] ^ msv[1] ^ msv[2]));

        faults = SimFaults();
        QVERIFY(faults.Apply("noise=4", strError));
        bus.SetFaults(faults);
        const QByteArray noisy = bus.Process("S01;ADR?;");
        QCOMPARE(noisy.size(), 8);
        QVERIFY(noisy.endsWith("01\r\n"));

        faults = SimFaults();
        QVERIFY(faults.Apply("zts-unsupported", strError));
        bus.SetFaults(faults);
        QCOMPARE(bus.Process("S01;ZTS?;"), QByteArray("?\r\n"));

        faults = SimFaults();
        QVERIFY(faults.Apply("unknown-query=LDW", strError));
        bus.SetFaults(faults);
        QCOMPARE(bus.Process("S01;LDW?;"), QByteArray("?\r\n"));
        QVERIFY(bus.Process("S01;LWT?;") != QByteArray("?\r\n"));

        QVERIFY(!faults.Apply("drop=x", strError));
        QVERIFY(!faults.Apply("melt", strError));
        QVERIFY(!strError.isEmpty());
    }

    void randomFaultPlanRepeatsItsSeed()
    {
        const auto draw = [](quint32 nSeed) {
            CSimFaultPlan plan(0.01, nSeed);
            plan.SetHangups(180, 300);
            QList<int> arrDraws;
            for (int i = 0; i < 20000; ++i) {
                const CSimFaultPlan::Kind kind = plan.Next();
                arrDraws << int(kind);
                if (kind == CSimFaultPlan::Kind::Split)
                    arrDraws << int(plan.SplitAt(6)) << plan.SplitGapMs();
                if (kind == CSimFaultPlan::Kind::Noise)
                    arrDraws << int(qChecksum(plan.Noise()));
            }
            for (int i = 0; i < 50; ++i) {
                const int nUp = plan.NextUpS();
                const int nDown = plan.NextDownS();
                if (nUp < 180 || nUp > 300 || nDown < 5 || nDown > 20)
                    return std::pair(QList<int>(), QString());
                arrDraws << nUp << nDown;
            }
            return std::pair(arrDraws, plan.CountText());
        };
        const auto [arrFirst, strCounts] = draw(7);
        QVERIFY2(!arrFirst.isEmpty(), "a hang-up outside its range");
        QCOMPARE(draw(7).first, arrFirst);
        QVERIFY(draw(8).first != arrFirst);

        // About 1 % faulted, every kind among them.
        const qsizetype nFaulted = 20000 - arrFirst.mid(0, 20000).count(0);
        QVERIFY2(nFaulted > 100 && nFaulted < 400, qPrintable(strCounts));
        for (int nKind = 1; nKind < CSimFaultPlan::kKinds; ++nKind)
            QVERIFY2(arrFirst.contains(nKind), qPrintable(strCounts));
        QVERIFY2(strCounts.endsWith("hang-ups 50"), qPrintable(strCounts));
    }

    void busFaultsEveryReplyAndKeepsBands()
    {
        SimOptions options = Quiet({1, 2});
        options.m_nAddressBand = 400000;
        options.m_dFaultRate = 1.0;
        CSimBus bus(options);
        int nDropped = 0;
        int nFaulty = 0;
        for (int i = 0; i < 200; ++i) {
            const std::vector<CSimBus::Reply> replies = bus.Feed("S02;ADR?;");
            nDropped += replies.empty();
            for (const CSimBus::Reply& reply : replies) {
                QCOMPARE(reply.Writes().join(), reply.m_bytes);
                nFaulty += reply.m_bytes != "02\r\n" || !reply.m_noise.isEmpty() ||
                           reply.Writes().size() == 2 || reply.m_nDelayMs > 0;
            }
        }
        QVERIFY(nDropped > 0);
        QCOMPARE(nDropped + nFaulty, 200);

        CSimBus quiet(Quiet({1, 2}));
        options.m_dFaultRate = 0.0;
        CSimBus banded(options);
        QCOMPARE(Decode(banded.Process("S02;MSV?;")) - Decode(banded.Process("S01;MSV?;")),
                 Decode(quiet.Process("S02;MSV?;")) - Decode(quiet.Process("S01;MSV?;")) + 5000);
    }

    void frameDuringAHeldReplyGetsNoReply()
    {
        SimOptions options = Quiet();
        options.m_faults.m_nDelayMs = 500;
        CPtySimulator simulator(options);
        QVERIFY2(!simulator.Start().isEmpty(), qPrintable(simulator.ErrorText()));
        const int fd = OpenRaw(simulator.SlavePath());
        QVERIFY(fd >= 0);
        // Address 1's reply is held back; address 3 is asked meanwhile, as a
        // tool does that gave up on it. Its reply would collide: none comes,
        // and the next question gets its own answer, not address 3's.
        QCOMPARE(::write(fd, "S01;ADR?;", 9), 9);
        QThread::msleep(20);
        QCOMPARE(Ask(fd, "S03;ADR?;", 5000), QByteArray("01\r\n"));
        QCOMPARE(Ask(fd, "S17;ADR?;", 5000), QByteArray("17\r\n"));
        ::close(fd);
    }

    void ptyServesAndVanishes()
    {
        QTemporaryDir dir;
        const QString strLink = dir.filePath("ttySIM");
        CPtySimulator simulator(Quiet());
        const QString strPath = simulator.Start(strLink);
        QVERIFY2(!strPath.isEmpty(), qPrintable(simulator.ErrorText()));
        QCOMPARE(QFile::symLinkTarget(strLink), strPath);

        const int fd = OpenRaw(strLink);
        QVERIFY(fd >= 0);
        QCOMPARE(Ask(fd, "S01;ADR?;"), QByteArray("01\r\n"));
        QCOMPARE(Ask(fd, "S02;ADR?;", 200), QByteArray());
        QCOMPARE(Ask(fd, "S17;ADR?;"), QByteArray("17\r\n"));

        // Split replies still arrive whole.
        SimFaults faults;
        faults.m_bSplit = true;
        simulator.SetFaults(faults);
        QCOMPARE(Ask(fd, "S03;NOV?;"), QByteArray("+010000\r\n"));

        simulator.Stop();
        QVERIFY(!QFileInfo::exists(strLink));
        char c = 0;
        QVERIFY(::read(fd, &c, 1) <= 0);
        ::close(fd);
    }

    void executableLifecycle()
    {
        QTemporaryDir dir;
        const QString strLink = dir.filePath("ttyBUS");
        QProcess sim;
        sim.start(QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath("tolvex-sim"),
                  {"--modules", "4", "--link", strLink});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString strPath = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY(strPath.startsWith("/dev/"));
        QVERIFY(QFileInfo::exists(strLink));
        const int fd = OpenRaw(strLink);
        QVERIFY(fd >= 0);
        QCOMPARE(Ask(fd, "S04;ADR?;"), QByteArray("04\r\n"));
        ::close(fd);
        ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(strLink));

        QProcess bad;
        bad.start(QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath("tolvex-sim"),
                  {"--modules", "x"});
        QVERIFY(bad.waitForFinished(10000));
        QCOMPARE(bad.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(SimTest)
#include "SimTest.moc"

#include "TestFiles.h"
#include "recording/ByteNamedFolder.h"
#include "settings/BackgroundColorFile.h"
#include "settings/ParamsManager.h"
#include "settings/PlotSettings.h"
#include "settings/PortMap.h"
#include "settings/SettingsSetAside.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Unscrambled(const QByteArray& stored)
{
    QByteArray plain = stored;
    for (char& c : plain)
        c = static_cast<char>(CParamsManager::Unscramble(static_cast<quint8>(c)));
    return plain;
}

QVariant RawValue(const QString& strFile, const QString& strKey)
{
    return QSettings(strFile, QSettings::IniFormat).value(strKey);
}

ComSettings SampleCom()
{
    ComSettings com;
    com.m_nPort = 7;
    com.m_nBaud = 115200;
    com.m_nDataBits = 7;
    com.m_nStopBits = 2;
    com.m_nParity = 'O';
    return com;
}

ComSettings Com(qint32 nPort, qint32 nBaud, qint32 nDataBits, qint32 nStopBits, quint32 nParity)
{
    ComSettings com;
    com.m_nPort = nPort;
    com.m_nBaud = nBaud;
    com.m_nDataBits = nDataBits;
    com.m_nStopBits = nStopBits;
    com.m_nParity = nParity;
    return com;
}

PlotSettings Plot(qint32 nRealMax, qint32 nRealMin, qint32 nRealDiv, qint32 nHistMax,
                  qint32 nHistMin, qint32 nHistDiv)
{
    return PlotSettings{nRealMax, nRealMin, nRealDiv, nHistMax, nHistMin, nHistDiv};
}

} // namespace

class CSettingsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_strFile;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
        m_strFile = CParamsManager::DefaultSettingsFile();
        QFile::remove(m_strFile);
    }

    // Qt cannot list names that are not valid UTF-8, so the temporary folder
    // could not remove them itself.
    void cleanupTestCase()
    {
        std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString());
    }

    void defaultFileFollowsXdg()
    {
        QCOMPARE(m_strFile, m_dir.filePath("Kavro/TolvexSoftware.conf"));
    }

    void scramblingIsAnInvolutionPair()
    {
        const quint8 byNotKey = static_cast<quint8>(~CParamsManager::kKey);
        QCOMPARE(CParamsManager::Scramble(0x00), byNotKey);
        QCOMPARE(CParamsManager::Unscramble(byNotKey), quint8(0x00));
        QCOMPARE(CParamsManager::Scramble(0xFF), CParamsManager::kKey);
        QCOMPARE(CParamsManager::Scramble(0x6E), quint8(0xFF));
        QCOMPARE(CParamsManager::Scramble(0x41), quint8(0xD0));
        QCOMPARE(CParamsManager::Unscramble(0xD0), quint8(0x41));
        for (int n = 0; n < 256; ++n) {
            const auto by = static_cast<quint8>(n);
            QCOMPARE(CParamsManager::Unscramble(CParamsManager::Scramble(by)), by);
        }
    }

    void writeStoresScrambledBytesAndReadsThemBack()
    {
        QByteArray all(256, '\0');
        for (int n = 0; n < 256; ++n)
            all[n] = static_cast<char>(n);

        CParamsManager params;
        QVERIFY(params.OpenSettingsKey(m_strFile, "Params"));
        QVERIFY(params.WriteSetting("All", all.constData(), static_cast<int>(all.size())));

        const QVariant raw = RawValue(m_strFile, "Params/All");
        QCOMPARE(raw.typeId(), int(QMetaType::QByteArray));
        QCOMPARE(raw.toByteArray().size(), 256);
        QCOMPARE(raw.toByteArray().at(0), static_cast<char>(~0x6E));
        QCOMPARE(Unscrambled(raw.toByteArray()), all);

        QByteArray back(256, 'x');
        int nLen = 256;
        QVERIFY(params.ReadSetting("All", back.data(), nLen));
        QCOMPARE(nLen, 256);
        QCOMPARE(back, all);
    }

    void readFailsWithoutTouchingData()
    {
        CParamsManager params;
        params.OpenSettingsKey(m_strFile, "Params");
        const QByteArray five("\x01\x02\x03\x04\x05", 5);
        QVERIFY(params.WriteSetting("Five", five.constData(), 5));

        char data[8] = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'd'};
        const QByteArray before(data, 8);
        for (int nLen : {4, 6, 8}) {
            int nAsked = nLen;
            QVERIFY(!params.ReadSetting("Five", data, nAsked));
            QCOMPARE(QByteArray(data, 8), before);
        }
        int nLen = 5;
        QVERIFY(!params.ReadSetting("Missing", data, nLen));
        QCOMPARE(QByteArray(data, 8), before);
    }

    void openCreatesAMissingKey()
    {
        CReg reg(m_strFile);
        QVERIFY(!reg.Open("Params"));
        QVERIFY(!reg.IsOpen());
        QByteArray value;
        QVERIFY(!reg.QueryValue("ComSettings", value));
        QVERIFY(!reg.SetBinaryValue("ComSettings", "x"));

        QVERIFY(reg.Create("Params"));
        QVERIFY(reg.SetBinaryValue("ComSettings", "abc"));
        reg.Close();
        QVERIFY(!reg.IsOpen());

        QVERIFY(reg.Open("Params"));
        QVERIFY(reg.QueryValue("ComSettings", value));
        QCOMPARE(value, QByteArray("abc"));
    }

    void firstStartWritesBothDefaults()
    {
        QVERIFY(!QFile::exists(m_strFile));
        ComSettings com;
        PlotSettings plot;
        CSettingsStore store;
        store.Load(com, plot);

        QCOMPARE(com, ComSettings());
        QCOMPARE(plot, PlotSettings());
        QVERIFY(QFile::exists(m_strFile));
        const QByteArray storedCom = RawValue(m_strFile, "Params/ComSettings").toByteArray();
        const QByteArray storedPlot = RawValue(m_strFile, "Params/PlotSettings").toByteArray();
        QCOMPARE(storedCom.size(), 20);
        QCOMPARE(storedPlot.size(), 24);
        QCOMPARE(Unscrambled(storedCom), ComSettings().ToBytes());
        QCOMPARE(Unscrambled(storedPlot), PlotSettings().ToBytes());
        const QByteArray text = ReadFile(m_strFile);
        QVERIFY(text.contains("[Params]"));
        QVERIFY(text.contains("ComSettings=@ByteArray("));
    }

    void storedValuesAreReadNotOverwritten()
    {
        PlotSettings plotSaved;
        plotSaved.m_nHistoryMin = -5000;
        plotSaved.m_nRealTimeDivisions = 7;
        {
            CSettingsStore store;
            QVERIFY(store.SaveComSettings(SampleCom()));
            QVERIFY(store.SavePlotSettings(plotSaved));
        }
        ComSettings com;
        PlotSettings plot;
        CSettingsStore store;
        store.Load(com, plot);
        QCOMPARE(com, SampleCom());
        QCOMPARE(plot, plotSaved);
        QCOMPARE(Unscrambled(RawValue(m_strFile, "Params/ComSettings").toByteArray()),
                 SampleCom().ToBytes());
    }

    void wrongSizeIsReplacedByDefaults()
    {
        {
            CParamsManager params;
            params.OpenSettingsKey(m_strFile, "Params");
            const QByteArray longer = SampleCom().ToBytes() + QByteArray(4, '\x11');
            QVERIFY(params.WriteSetting("ComSettings", longer.constData(), 24));
            ComSettings probe = SampleCom();
            int nLen = ComSettings::kSize;
            QVERIFY(!params.ReadSetting("ComSettings", &probe, nLen));
        }
        ComSettings com;
        PlotSettings plot;
        CSettingsStore(m_strFile).Load(com, plot);
        QCOMPARE(com, ComSettings());
        const QByteArray stored = RawValue(m_strFile, "Params/ComSettings").toByteArray();
        QCOMPARE(stored.size(), 20);
        QCOMPARE(Unscrambled(stored), ComSettings().ToBytes());
    }

    void valueOfAnotherTypeCountsAsMissing()
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_strFile).absolutePath()));
        QVERIFY(WriteFile(m_strFile, "[Params]\nComSettings=hello there\nPlotSettings=12\n"));

        CParamsManager params;
        params.OpenSettingsKey(m_strFile, "Params");
        char data[20] = {};
        int nLen = 11;
        QVERIFY(!params.ReadSetting("ComSettings", data, nLen));
        QCOMPARE(data[0], '\0');

        ComSettings com = SampleCom();
        PlotSettings plot;
        plot.m_nHistoryMax = 55;
        CSettingsStore(m_strFile).Load(com, plot);
        // The current values stay and are written back in place of the text.
        QCOMPARE(com, SampleCom());
        QCOMPARE(plot.m_nHistoryMax, 55);
        const QVariant stored = RawValue(m_strFile, "Params/ComSettings");
        QCOMPARE(stored.typeId(), int(QMetaType::QByteArray));
        QCOMPARE(Unscrambled(stored.toByteArray()), SampleCom().ToBytes());
        QCOMPARE(Unscrambled(RawValue(m_strFile, "Params/PlotSettings").toByteArray()),
                 plot.ToBytes());
    }

    void unusableFileKeepsDefaultsWithoutCrashing()
    {
        // A folder where the file should be, and a file where a folder should be.
        QVERIFY(QDir().mkpath(m_dir.filePath("isadir.conf")));
        QVERIFY(WriteFile(m_dir.filePath("plainfile"), "x"));
        for (const QString& strFile :
             {m_dir.filePath("isadir.conf"), m_dir.filePath("plainfile/sub/settings.conf")}) {
            CParamsManager params;
            QVERIFY(params.OpenSettingsKey(strFile, "Params"));
            const char byte = 1;
            QVERIFY(!params.WriteSetting("ComSettings", &byte, 1));
            char out = 9;
            int nLen = 1;
            QVERIFY(!params.ReadSetting("ComSettings", &out, nLen));
            QCOMPARE(out, char(9));

            ComSettings com;
            PlotSettings plot;
            CSettingsStore store(strFile);
            store.Load(com, plot);
            QCOMPARE(com, ComSettings());
            QCOMPARE(plot, PlotSettings());
            QVERIFY(!store.SaveComSettings(SampleCom()));
        }
    }

    void plotSettingsBytesAreLittleEndian()
    {
        PlotSettings plot;
        const QByteArray bytes = plot.ToBytes();
        QCOMPARE(bytes.size(), 24);
        QCOMPARE(bytes.mid(0, 4), QByteArray("\x64\x00\x00\x00", 4));
        QCOMPARE(bytes.mid(4, 4), QByteArray("\x9C\xFF\xFF\xFF", 4));
        QCOMPARE(bytes.mid(20, 4), QByteArray("\x14\x00\x00\x00", 4));

        PlotSettings other;
        other.m_nRealTimeMax = 123456;
        other.m_nHistoryDivisions = 99;
        PlotSettings copy;
        QVERIFY(copy.FromBytes(other.ToBytes()));
        QCOMPARE(copy, other);
        QVERIFY(!copy.FromBytes(bytes.left(23)));
        QCOMPARE(copy, other);
    }

    void backgroundColourFile()
    {
        const QString strDir = m_dir.filePath("colour");
        QVERIFY(QDir().mkpath(strDir));
        const QString strPath = QDir(strDir).filePath("Param.sdt");

        QCOMPARE(CBackgroundColorFile::LoadBackgroundColor(strDir), quint32(0xFFC0B0));
        QVERIFY(!QFile::exists(strPath));

        QVERIFY(WriteFile(strPath, QByteArray("\x01\x02\x03", 3)));
        QCOMPARE(CBackgroundColorFile::LoadBackgroundColor(strDir), quint32(0xFFC0B0));

        QVERIFY(WriteFile(strPath, QByteArray("\x10\x20\x30\x40\x50\x60", 6)));
        QVERIFY(CBackgroundColorFile::SaveBackgroundColor(0x00123456, strDir));
        QCOMPARE(ReadFile(strPath), QByteArray("\x56\x34\x12\x00", 4));
        QCOMPARE(CBackgroundColorFile::LoadBackgroundColor(strDir), quint32(0x00123456));

        QVERIFY(!CBackgroundColorFile::SaveBackgroundColor(0x1, m_dir.filePath("no/such/dir")));
    }

    void backgroundColourDefaultsToWorkingDirectory()
    {
        const QString strOld = QDir::currentPath();
        const QString strDir = m_dir.filePath("cwd");
        QVERIFY(QDir().mkpath(strDir));
        QVERIFY(QDir::setCurrent(strDir));
        const bool bSaved = CBackgroundColorFile::SaveBackgroundColor(0x00ABCDEF);
        const quint32 crLoaded = CBackgroundColorFile::LoadBackgroundColor();
        QDir::setCurrent(strOld);
        QVERIFY(bSaved);
        QCOMPARE(crLoaded, quint32(0x00ABCDEF));
        QCOMPARE(ReadFile(QDir(strDir).filePath("Param.sdt")).size(), 4);
    }

    void backgroundColourFromAnyKindOfFile_data()
    {
        QTest::addColumn<int>("kind");
        for (const BadFileKind& kind : BadFileKinds())
            QTest::newRow(kind.m_pszName) << int(kind.m_kind);
    }

    void backgroundColourFromAnyKindOfFile()
    {
        // At most the 4 colour bytes of a regular file are read, never
        // waiting on a FIFO; anything else gives the default and stays.
        QFETCH(int, kind);
        const QString strDir = m_dir.filePath(QStringLiteral("kind%1").arg(kind));
        QVERIFY(QDir().mkpath(strDir));
        const QString strPath = QDir(strDir).filePath("Param.sdt");
        QVERIFY(MakeBadFile(BadFile(kind), strPath, QByteArray("\x56\x34\x12\x00", 4)));
        const QFileInfo before(strPath);
        QFile file(strPath);
        const QByteArray head =
            before.isFile() && file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
        file.close();
        const quint32 crExpected =
            head.size() == 4 ? qFromLittleEndian<quint32>(head.constData()) : 0xFFC0B0;
        QCOMPARE(CBackgroundColorFile::LoadBackgroundColor(strDir), crExpected);
        const QFileInfo after(strPath);
        QCOMPARE(after.isFile(), before.isFile());
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.size(), before.size());
        if (!before.isFile() && before.exists())
            QVERIFY(!CBackgroundColorFile::SaveBackgroundColor(0x00123456, strDir));
    }

    void backgroundColourInAFolderNamedInAnotherEncoding()
    {
        // A folder whose name is not valid UTF-8 (Latin-1 "café" and a stray byte).
        const QByteArray base = QFile::encodeName(m_dir.path());
        const QByteArray folder = base + "/caf\xe9\xff";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        char szOld[4096];
        QVERIFY(::getcwd(szOld, sizeof szOld) != nullptr);
        QCOMPARE(::chdir(folder.constData()), 0);
        const bool bSaved = CBackgroundColorFile::SaveBackgroundColor(0x00ABCDEF);
        const quint32 crLoaded = CBackgroundColorFile::LoadBackgroundColor();
        QCOMPARE(::chdir(szOld), 0);
        QVERIFY(bSaved);
        QCOMPARE(crLoaded, quint32(0x00ABCDEF));
        struct stat st;
        QCOMPARE(::stat((folder + "/Param.sdt").constData(), &st), 0);
        QCOMPARE(qint64(st.st_size), qint64(4));
    }

    // Settings and data folders named by bytes that are not valid UTF-8 are
    // used under their own names, never under the names Qt decodes them to.
    void userFoldersNamedInAnotherEncoding()
    {
        const QByteArray base = QFile::encodeName(m_dir.path());
        qputenv("XDG_CONFIG_HOME", base + "/caf\xe9\xff");
        ComSettings com;
        com.m_nBaud = 115200;
        QVERIFY(CSettingsStore().SaveComSettings(com));
        qputenv("XDG_CONFIG_HOME", base);
        struct stat st;
        QCOMPARE(::stat(base + "/caf\xe9\xff/Kavro/TolvexSoftware.conf", &st), 0);
        QVERIFY(!QFile::exists(m_dir.filePath(QFile::decodeName("caf\xe9\xff"))));

        qputenv("XDG_DATA_HOME", base + "/d\xe9");
        const QString strData =
            CByteNamedFolder::UserFolder("XDG_DATA_HOME", ".local/share", "Tolvex", "wrong");
        QVERIFY(QFile(strData + "/x").open(QIODevice::WriteOnly));
        QCOMPARE(::stat(base + "/d\xe9/Tolvex/x", &st), 0);
        qputenv("XDG_DATA_HOME", base + "/d");
        QCOMPARE(CByteNamedFolder::UserFolder("XDG_DATA_HOME", ".local/share", "Tolvex", "qt"),
                 QStringLiteral("qt"));
        qunsetenv("XDG_DATA_HOME");
    }

    void handEditedValues_data()
    {
        // Records as stored (before scrambling; empty: not written), raw INI
        // text appended after them, the COM3 map entry, and what the store and
        // the map make of it.
        QTest::addColumn<QByteArray>("com");
        QTest::addColumn<QByteArray>("plot");
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<QString>("device");
        QTest::addColumn<ComSettings>("expectedCom");
        QTest::addColumn<PlotSettings>("expectedPlot");
        QTest::addColumn<QString>("expectedDevice");
        QTest::addColumn<bool>("setAside");

        const qint32 nMax = 0x7fffffff;
        const PlotSettings plot = Plot(500, -50, 10, 70, 7, 5);
        const QByteArray plotBytes = plot.ToBytes();
        const QByteArray comBytes = SampleCom().ToBytes();
        const ComSettings def;
        auto row = [&](const char* pszName, const ComSettings& com, const ComSettings& expected) {
            QTest::newRow(pszName)
                << com.ToBytes() << plotBytes << QByteArray() << QString("/dev/x") << expected
                << plot << QString("/dev/x") << false;
        };
        row("port 0", Com(0, 115200, 7, 2, 'O'), Com(1, 115200, 7, 2, 'O'));
        row("port 2^31-1", Com(nMax, 115200, 7, 2, 'O'), Com(1, 115200, 7, 2, 'O'));
        row("baud -1", Com(7, -1, 7, 2, 'O'), Com(7, 19200, 7, 2, 'O'));
        row("data bits 255", Com(7, 115200, 255, 2, 'O'), Com(7, 115200, 8, 2, 'O'));
        row("stop bits 0", Com(7, 115200, 7, 0, 'O'), Com(7, 115200, 7, 1, 'O'));
        row("parity Z", Com(7, 115200, 7, 2, 'Z'), Com(7, 115200, 7, 2, 'E'));
        row("parity NUL", Com(7, 115200, 7, 2, 0x4500), Com(7, 115200, 7, 2, 'E'));
        row("all damaged", Com(-5, 0, 0, nMax, 0xFF), def);
        row("highest values kept", Com(256, 4000000, 5, 2, 'S'), Com(256, 4000000, 5, 2, 'S'));

        auto plotRow = [&](const char* pszName, const PlotSettings& stored,
                           const PlotSettings& expected) {
            QTest::newRow(pszName) << comBytes << stored.ToBytes() << QByteArray() << QString()
                                   << SampleCom() << expected << QString() << false;
        };
        plotRow("divisions 2^31-1", Plot(500, -50, nMax, 70, 7, 5), Plot(500, -50, 20, 70, 7, 5));
        plotRow("divisions 0", Plot(500, -50, 10, 70, 7, 0), Plot(500, -50, 10, 70, 7, 20));
        plotRow("max below min", Plot(500, -50, 10, 6, 7, 5), Plot(500, -50, 10, 100, -100, 5));
        plotRow("max equals min", Plot(-3, -3, 100, 70, 7, 1), Plot(-3, -3, 100, 70, 7, 1));

        // A record of the wrong size, or no record, keeps the caller's value.
        for (int nSize : {0, 19, 21}) {
            const QByteArray name = "com of " + QByteArray::number(nSize) + " bytes";
            QTest::newRow(name.constData())
                << comBytes.left(nSize).leftJustified(nSize, '\x01') << plotBytes << QByteArray()
                << QString() << def << plot << QString() << false;
        }
        QTest::newRow("strings") << QByteArray() << QByteArray()
                                 << QByteArray("[Params]\nComSettings=COM7\nPlotSettings=\"1,2\"\n")
                                 << QString() << def << PlotSettings() << QString() << false;
        QTest::newRow("garbled lines")
            << comBytes << plotBytes
            << QByteArray("\n\x01\x02\xff garbage\n[unclosed\n==\n=value\n\\\n[Params\n")
            << QString("/dev/y") << SampleCom() << plot << QString("/dev/y") << false;
        QTest::newRow("map entry of 100 KiB")
            << comBytes << plotBytes << QByteArray() << QString(100 * 1024, QLatin1Char('d'))
            << SampleCom() << plot << QString() << false;
        QTest::newRow("map entry with NUL")
            << comBytes << plotBytes << QByteArray() << QString("/dev/tty") + QChar(0) + "S0"
            << SampleCom() << plot << QString() << false;
        // QSettings would read it whole: set aside, everything at its default.
        QTest::newRow("10 MB value")
            << comBytes << plotBytes << "[Big]\nValue=" + QByteArray(10 * 1024 * 1024, 'v') + "\n"
            << QString("/dev/x") << def << PlotSettings() << QString() << true;
    }

    void handEditedValues()
    {
        QFETCH(QByteArray, com);
        QFETCH(QByteArray, plot);
        QFETCH(QByteArray, extra);
        QFETCH(QString, device);
        QFETCH(ComSettings, expectedCom);
        QFETCH(PlotSettings, expectedPlot);
        QFETCH(QString, expectedDevice);
        QFETCH(bool, setAside);

        QVERIFY(QDir().mkpath(QFileInfo(m_strFile).absolutePath()));
        {
            CParamsManager params;
            params.OpenSettingsKey(m_strFile, "Params");
            if (!com.isNull())
                QVERIFY(params.WriteSetting("ComSettings", com.constData(), int(com.size())));
            if (!plot.isNull())
                QVERIFY(params.WriteSetting("PlotSettings", plot.constData(), int(plot.size())));
        }
        if (!device.isEmpty()) {
            QSettings map(m_strFile, QSettings::IniFormat);
            map.setValue("PortMap/COM3", device);
        }
        QVERIFY(WriteFile(m_strFile, ReadFile(m_strFile) + extra));
        const QByteArray before = ReadFile(m_strFile);
        const QString strAside = CSettingsSetAside::SetAsideName(m_strFile, 1);

        ComSettings loadedCom;
        PlotSettings loadedPlot;
        CSettingsStore store(m_strFile);
        store.Load(loadedCom, loadedPlot);
        QCOMPARE(loadedCom, expectedCom);
        QCOMPARE(loadedPlot, expectedPlot);
        QCOMPARE(CPortMap(m_strFile).DeviceFor(3), expectedDevice);
        QCOMPARE(!store.SetAsideMessage().isEmpty(), setAside);
        QCOMPARE(QFile::exists(strAside), setAside);
        if (setAside) {
            QVERIFY(store.SetAsideMessage().contains(strAside));
            QVERIFY(ReadFile(strAside) == before);
            QFile::remove(strAside);
        }
        // What was repaired was written back; the next start reads the same.
        ComSettings againCom = SampleCom();
        PlotSettings againPlot = Plot(1, 0, 1, 1, 0, 1);
        CSettingsStore again(m_strFile);
        again.LoadReadOnly(againCom, againPlot);
        QVERIFY(again.SetAsideMessage().isEmpty());
        QCOMPARE(againCom, expectedCom);
        QCOMPARE(againPlot, expectedPlot);
    }

    void specialSettingsFilesAreNeverRead()
    {
        // A FIFO would hold QSettings in open(); it and a symlink loop stay
        // where they are, unread, and the defaults hold.
        const QString strFifo = m_dir.filePath("fifo.conf");
        QCOMPARE(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
        const QString strLoop = m_dir.filePath("loop.conf");
        QVERIFY(QFile::link(strLoop, strLoop));
        // Taken names are skipped, never overwritten.
        const QString strBig = m_dir.filePath("big.conf");
        QVERIFY(WriteFile(strBig, QByteArray(CSettingsSetAside::kMaxBytes + 1, '#')));
        QVERIFY(WriteFile(CSettingsSetAside::SetAsideName(strBig, 1), "taken"));
        for (const QString& strFile : {strFifo, strLoop, strBig}) {
            ComSettings com = SampleCom();
            PlotSettings plot;
            CSettingsStore store(strFile);
            store.Load(com, plot);
            QCOMPARE(com, SampleCom());
            QVERIFY(!store.SetAsideMessage().isEmpty());
            QVERIFY(CPortMap(strFile).DeviceFor(1).isEmpty());
        }
        QVERIFY(QFileInfo(strFifo).exists());
        QVERIFY(QFileInfo(strLoop).isSymLink());
        QCOMPARE(ReadFile(CSettingsSetAside::SetAsideName(strBig, 1)), QByteArray("taken"));
        QCOMPARE(ReadFile(CSettingsSetAside::SetAsideName(strBig, 2)).size(),
                 CSettingsSetAside::kMaxBytes + 1);
    }

    void failedWritesKeepTheOldFiles_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<int>("condition");
        const char* pszWriters[] = {"port settings", "curve settings", "port map", "Param.sdt"};
        const char* pszConditions[] = {"full disk", "unwritable folder", "below a plain file"};
        for (int nWriter = 0; nWriter < 4; ++nWriter)
            for (int nCondition = 0; nCondition < 3; ++nCondition)
                QTest::addRow("%s, %s", pszWriters[nWriter], pszConditions[nCondition])
                    << nWriter << nCondition;
    }

    void failedWritesKeepTheOldFiles()
    {
        // The write reports failure, the file written before stays whole,
        // and the next write, with room again, succeeds.
        QFETCH(int, writer);
        QFETCH(int, condition);
        QTemporaryDir dir;
        const QString strFolder = condition == 2 ? dir.filePath("plain") : dir.filePath("cfg");
        const QString strFile = QDir(strFolder).filePath(writer == 3 ? "Param.sdt" : "t.conf");
        auto write = [&](int nValue) {
            ComSettings com = SampleCom();
            com.m_nPort = nValue;
            PlotSettings plot;
            plot.m_nRealTimeMax = 1000 + nValue;
            switch (writer) {
            case 0:
                return CSettingsStore(strFile).SaveComSettings(com);
            case 1:
                return CSettingsStore(strFile).SavePlotSettings(plot);
            case 2:
                return CPortMap(strFile).SetDevice(nValue, QString("/dev/pts/%1").arg(nValue));
            default:
                return CBackgroundColorFile::SaveBackgroundColor(quint32(nValue), strFolder);
            }
        };
        if (condition == 2) {
            QVERIFY(WriteFile(strFolder, "a plain file"));
            QVERIFY(!write(2));
            QCOMPARE(ReadFile(strFolder), QByteArray("a plain file"));
            return;
        }
        QVERIFY(QDir().mkpath(strFolder));
        QVERIFY(write(1));
        const QByteArray before = ReadFile(strFile);
        bool bWritten = true;
        if (condition == 0) {
            CFileSizeLimit limit(2);
            QVERIFY(limit.IsSet());
            bWritten = write(2);
        } else {
            CUnwritableFolder unwritable(strFolder);
            if (!unwritable.IsSet())
                QSKIP(qPrintable(unwritable.Why()));
            bWritten = write(2);
        }
        QVERIFY(!bWritten);
        QCOMPARE(ReadFile(strFile), before);
        QCOMPARE(QDir(strFolder).entryList(QDir::Files).size(), 1);
        QVERIFY(write(3));
        QVERIFY(ReadFile(strFile) != before);
    }

    void portMapKeepsPlainPathsBesideTheSettings()
    {
        CPortMap map;
        QCOMPARE(map.File(), m_strFile);
        QVERIFY(map.DeviceFor(3).isEmpty());
        QVERIFY(map.SetDevice(3, " /dev/pts/5 "));
        QVERIFY(map.SetDevice(12, "/dev/serial/by-id/usb-x"));
        QCOMPARE(map.DeviceFor(3), QString("/dev/pts/5"));
        QCOMPARE(map.DeviceFor(12), QString("/dev/serial/by-id/usb-x"));
        QVERIFY(map.DeviceFor(4).isEmpty());
        QCOMPARE(RawValue(m_strFile, "PortMap/COM3").toString(), QString("/dev/pts/5"));

        // The settings records and the map share the file without disturbing each other.
        CSettingsStore store;
        QVERIFY(store.SaveComSettings(SampleCom()));
        QCOMPARE(CPortMap().DeviceFor(3), QString("/dev/pts/5"));
        ComSettings com;
        PlotSettings plot;
        store.Load(com, plot);
        QCOMPARE(com, SampleCom());

        QVERIFY(map.SetDevice(3, QString()));
        QVERIFY(map.DeviceFor(3).isEmpty());
        QCOMPARE(map.DeviceFor(12), QString("/dev/serial/by-id/usb-x"));
    }
};

QTEST_GUILESS_MAIN(CSettingsTest)
#include "SettingsTest.moc"

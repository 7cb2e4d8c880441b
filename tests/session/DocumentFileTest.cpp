// Session files: the three blocks in order, byte-exact rewriting, damaged
// files, and the companion's show and resave on files written by hand.
#include "CliRunner.h"
#include "SessionTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

CBytes InfoBlock(int type = 0, int portId = 2)
{
    CBytes b;
    b.I32(-234).I32(4).I32(portId).I32(115200).I32(8).I32(10).U8('E').I32(1).I32(2).I32(type);
    b.Str("192.168.7.9").I32(5000).I32(0x11223344).I32(1);
    for (uint32_t color : {0x000000u, 0x00FF00u, 0x00FFFFu, 0x7F7F7Fu, 1u, 2u, 3u})
        b.I32(static_cast<int32_t>(color));
    b.I32(1).I32(4).I32(750).I32(0x4000);
    return b;
}

// Two macros: F1 and Shift+F3.
QByteArray KeysBlock()
{
    CBytes b;
    b.I32((2 << 16) | 2);
    b.U8(0)
        .I32(0)
        .I32(0)
        .I32(0)
        .Str("Ping")
        .Str("Sends a ping")
        .Str("PING^M")
        .I32(3)
        .I32(500)
        .I32(1)
        .Str("^M^J");
    b.U8(2)
        .I32(1)
        .I32(0)
        .I32(0)
        .Str("Crc")
        .Str("")
        .Str("~|CHK-CRC-16/MODBUS|~AB~|CHK-OUT|~")
        .I32(-1)
        .I32(1000)
        .I32(0)
        .Str("");
    return b.Get();
}

QByteArray CaptureBlock()
{
    return CBytes().I32(1).Str("/tmp/cap.txt").Get();
}

QByteArray WholeFile()
{
    return InfoBlock().Get() + KeysBlock() + CaptureBlock();
}

bool LoadBytes(CTrelliumDoc& doc, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return doc.Load(buffer);
}

QByteArray SaveBytes(CTrelliumDoc& doc)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    doc.Save(buffer);
    return buffer.data();
}

TEST(DocumentFile, ReadsTheThreeBlocksAndWritesThemBackByteForByte)
{
    CRecordingAlerts alerts;
    CSessionContext context;
    CTrelliumDoc doc(context);
    ASSERT_TRUE(LoadBytes(doc, WholeFile()));
    EXPECT_TRUE(alerts.Messages().isEmpty());
    EXPECT_EQ(doc.Info().m_nBaudRate, 115200);
    EXPECT_EQ(doc.Info().m_strAddress, QByteArray("192.168.7.9"));
    const auto macros = doc.m_funcKeys.Snapshot();
    ASSERT_EQ(macros.size(), 2u);
    EXPECT_EQ(macros[1].m_strData, QByteArray("~|CHK-CRC-16/MODBUS|~AB~|CHK-OUT|~"));
    EXPECT_EQ(macros[1].m_nRepeat, -1);
    EXPECT_EQ(doc.m_capture.m_bAutoBegin, 1);
    EXPECT_EQ(doc.m_capture.m_strFileName, QByteArray("/tmp/cap.txt"));
    EXPECT_EQ(SaveBytes(doc).toHex(), WholeFile().toHex());
}

TEST(DocumentFile, OldMacroVersionsReadWithDefaultsAndSkipDuplicates)
{
    CBytes keys;
    keys.I32(3); // version 0, three macros, the third a duplicate of the first
    keys.U8(4).I32(0).I32(1).I32(0).Str("A").Str("").Str("x");
    keys.U8(5).I32(0).I32(0).I32(0).Str("B").Str("").Str("y");
    keys.U8(4).I32(0).I32(1).I32(0).Str("dup").Str("").Str("z");
    CSessionContext context;
    CTrelliumDoc doc(context);
    ASSERT_TRUE(LoadBytes(doc, InfoBlock().Get() + keys.Get() + CaptureBlock()));
    const auto macros = doc.m_funcKeys.Snapshot();
    ASSERT_EQ(macros.size(), 2u);
    EXPECT_EQ(macros[0].m_strLabel, QByteArray("A"));
    EXPECT_EQ(macros[0].m_nRepeat, 0);
    EXPECT_EQ(macros[1].m_bAutoResponseOn, 0);
}

TEST(DocumentFile, FileEndingInsideTheKeyBlockKeepsWhatWasRead)
{
    CRecordingAlerts alerts;
    CSessionContext context;
    CTrelliumDoc doc(context);
    const QByteArray file = WholeFile();
    const int cut = InfoBlock().Get().size() + 20; // inside the first macro
    EXPECT_FALSE(LoadBytes(doc, file.left(cut)));
    EXPECT_EQ(alerts.Messages(), QStringList{QStringLiteral("Serialize Error")});
    EXPECT_EQ(doc.Info().m_nBaudRate, 115200);
    EXPECT_EQ(doc.Info().m_nOptions, 0x4000u);
    EXPECT_EQ(doc.m_capture.m_bAutoBegin, 0);
    EXPECT_TRUE(doc.m_capture.m_strFileName.isEmpty());
}

TEST(DocumentFile, EveryTruncationFailsCleanly)
{
    CRecordingAlerts alerts;
    const QByteArray file = WholeFile();
    for (int length = 0; length < file.size(); ++length) {
        CSessionContext context;
        CTrelliumDoc doc(context);
        EXPECT_FALSE(LoadBytes(doc, file.left(length))) << length;
    }
    EXPECT_EQ(alerts.Messages().size(), file.size());
}

TEST(DocumentFile, OpenAndSaveThroughTheFileSystem)
{
    CRecordingAlerts alerts;
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("lab.trw"));
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(WholeFile());
    f.close();

    CSessionContext context;

    CTrelliumDoc doc(context);
    ASSERT_TRUE(doc.OnOpenDocument(in));
    const QString out = dir.filePath(QStringLiteral("copy.trw"));
    ASSERT_TRUE(doc.OnSaveDocument(out));
    QFile back(out);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    const QByteArray saved = back.readAll();
    // The serial port of the file is gone here, so the probe moved the port id.
    CTrelliumDoc reread(context);
    ASSERT_TRUE(LoadBytes(reread, saved));
    EXPECT_EQ(reread.Info().m_strAddress, QByteArray("192.168.7.9"));
    EXPECT_EQ(saved.mid(12), WholeFile().mid(12));

    CTrelliumDoc missing(context);
    EXPECT_FALSE(missing.OnOpenDocument(dir.filePath(QStringLiteral("none.trw"))));
    EXPECT_EQ(alerts.Messages().size(), 1);
}

TEST(DocumentFile, FailedSaveKeepsTheOldFile)
{
    CRecordingAlerts alerts;
    QTemporaryDir dir;
    CSessionContext context;
    CTrelliumDoc doc(context);
    EXPECT_FALSE(doc.OnSaveDocument(dir.filePath(QStringLiteral("no/such/dir/x.trw"))));
    EXPECT_FALSE(alerts.Messages().isEmpty());
}

// --- the companion -------------------------------------------------------

class Companion : public CliTest
{
protected:
    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    int Run(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr)
    {
        const CliResult result = RunCli(args);
        if (out)
            *out = result.out;
        if (err)
            *err = result.err;
        return result.exitCode;
    }

    QTemporaryDir m_dir;
};

TEST_F(Companion, ShowPrintsTheContractJson)
{
    QByteArray out;
    ASSERT_EQ(Run({QStringLiteral("show"), WriteFile(QStringLiteral("a.trw"), WholeFile())}, &out),
              0);
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(o.value(QStringLiteral("version")).toInt(), 4);
    EXPECT_EQ(o.value(QStringLiteral("port_id")).toInt(), 2);
    EXPECT_EQ(o.value(QStringLiteral("parity")).toString(), QStringLiteral("E"));
    EXPECT_EQ(o.value(QStringLiteral("reserved")).toInteger(), 0x11223344);
    EXPECT_EQ(o.value(QStringLiteral("options")).toInt(), 0x4000);
    const QJsonArray colors = o.value(QStringLiteral("colors")).toArray();
    ASSERT_EQ(colors.size(), 7);
    EXPECT_EQ(colors.at(2).toInteger(), 0x00FFFF);
    EXPECT_EQ(
        o.value(QStringLiteral("timing")).toObject().value(QStringLiteral("min_interval")).toInt(),
        750);
    const QJsonArray macros = o.value(QStringLiteral("macros")).toArray();
    ASSERT_EQ(macros.size(), 2);
    const QJsonObject f1 = macros.at(0).toObject();
    EXPECT_EQ(f1.value(QStringLiteral("data")).toString(), QStringLiteral("PING^M"));
    EXPECT_EQ(f1.value(QStringLiteral("auto_response")).toString(), QStringLiteral("^M^J"));
    EXPECT_EQ(macros.at(1).toObject().value(QStringLiteral("shift")).toInt(), 1);
    EXPECT_EQ(
        o.value(QStringLiteral("capture")).toObject().value(QStringLiteral("file_name")).toString(),
        QStringLiteral("/tmp/cap.txt"));
}

TEST_F(Companion, ShowMapsBytesToCodePoints)
{
    CBytes info = InfoBlock();
    QByteArray file = WholeFile();
    file.replace(QByteArray("\x0b"
                            "192.168.7.9"),
                 QByteArray("\x03"
                            "\xe9\x22\x01"));
    QByteArray out;
    ASSERT_EQ(Run({QStringLiteral("show"), WriteFile(QStringLiteral("b.trw"), file)}, &out), 0);
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(o.value(QStringLiteral("address")).toString(), QString::fromUtf16(u"\u00e9\"\u0001"));
}

TEST_F(Companion, VersionZeroFileShowsVersionZero)
{
    const QByteArray v0 = CBytes().I32(0).I32(9600).I32(8).I32(10).U8('N').I32(0).I32(0).Get() +
                          CBytes().I32(0).Get() + CBytes().I32(0).Str("").Get();
    QByteArray out;
    ASSERT_EQ(Run({QStringLiteral("show"), WriteFile(QStringLiteral("v0.trw"), v0)}, &out), 0);
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(o.value(QStringLiteral("version")).toInt(), 0);
    EXPECT_EQ(o.value(QStringLiteral("connection_type")).toInt(), 1);
    EXPECT_EQ(o.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
}

TEST_F(Companion, DamagedAndMissingFiles)
{
    QByteArray out;
    QByteArray err;
    const QByteArray cut = WholeFile().left(InfoBlock().Get().size() + 20);
    EXPECT_EQ(Run({QStringLiteral("show"), WriteFile(QStringLiteral("cut.trw"), cut)}, &out, &err),
              2);
    EXPECT_TRUE(err.contains("Serialize Error"));
    EXPECT_EQ(QJsonDocument::fromJson(out).object().value(QStringLiteral("baud")).toInt(), 115200);

    EXPECT_EQ(
        Run({QStringLiteral("show"), m_dir.filePath(QStringLiteral("absent.trw"))}, &out, &err), 1);
    EXPECT_FALSE(err.isEmpty());

    // A 4 GB length claimed for the address.
    const QByteArray hostile = CBytes()
                                   .I32(-234)
                                   .I32(4)
                                   .I32(254)
                                   .I32(9600)
                                   .I32(8)
                                   .I32(10)
                                   .U8('N')
                                   .I32(0)
                                   .I32(0)
                                   .I32(1)
                                   .Raw(QByteArray::fromHex("FFFFFFFFFFFFFF"))
                                   .Get();
    EXPECT_EQ(
        Run({QStringLiteral("show"), WriteFile(QStringLiteral("h.trw"), hostile)}, &out, &err), 2);
}

// A FIFO without a writer would hold the open for ever and /dev/zero reads
// as an endless all-zero session: show and resave refuse both at once, as
// files they cannot open, and resave writes nothing.
TEST_F(Companion, FifoAndDeviceAreRefusedNotWaitedOn)
{
    const QString fifo = m_dir.filePath(QStringLiteral("fifo.trw"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString out = m_dir.filePath(QStringLiteral("out.trw"));
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const QByteArray reason =
            QStringLiteral("cannot open %1: it is not a regular file\n").arg(path).toLocal8Bit();
        const CliResult show = RunCli({QStringLiteral("show"), path});
        EXPECT_EQ(show.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(show.out.isEmpty());
        EXPECT_TRUE(show.err.endsWith(reason)) << show.err.constData();

        const CliResult resave = RunCli({QStringLiteral("resave"), path, out});
        EXPECT_EQ(resave.exitCode, 1);
        EXPECT_TRUE(resave.err.endsWith(reason)) << resave.err.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(Companion, ResaveWritesVersionFourByteExact)
{
    const QString in = WriteFile(QStringLiteral("in.trw"), WholeFile());
    const QString out = m_dir.filePath(QStringLiteral("out.trw"));
    ASSERT_EQ(Run({QStringLiteral("resave"), in, out}), 0);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toHex(), WholeFile().toHex());

    // A version 0 file comes back as a version 4 file with the defaults.
    const QByteArray v0 = CBytes().I32(5).I32(4800).I32(7).I32(15).U8('O').I32(2).I32(1).Get() +
                          CBytes().I32(0).Get() + CBytes().I32(0).Str("").Get();
    const QString out0 = m_dir.filePath(QStringLiteral("out0.trw"));
    ASSERT_EQ(Run({QStringLiteral("resave"), WriteFile(QStringLiteral("v0.trw"), v0), out0}), 0);
    QFile f0(out0);
    ASSERT_TRUE(f0.open(QIODevice::ReadOnly));
    const QByteArray bytes = f0.readAll();
    EXPECT_EQ(bytes.left(12).toHex(' '), QByteArray("16 ff ff ff 04 00 00 00 05 00 00 00"));
    EXPECT_EQ(bytes.size(), 103 + 4 + 5);
}

} // namespace

// A seeded random fuzz of the session file reader: mutated real files,
// hostile length prefixes and plain noise must never crash, hang or allocate
// beyond the file's size (the sanitizer build aborts on a huge allocation).
#include "SessionTestSupport.h"
#include "base/Archive.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <random>

namespace {

// Where the macro block's header lies in ValidFile: right after the
// settings block.
qsizetype g_keyHeaderAt = 0;

QByteArray ValidFile()
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_strAddress = QByteArray(300, 'h');
    doc.m_funcKeys.AddKey(0, 0, 0, 0, "L", "D", "~|CHK-CRC-32/ISO-HDLC|~data~|CHK-OUT|~", 3, 100, 1,
                          "^M^J");
    doc.m_funcKeys.AddKey(7, 1, 1, 0, QByteArray(260, 'l'), "", "x", -1, 5, 0, "");
    doc.m_capture.m_strFileName = "/tmp/capture.txt";
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    doc.Save(buffer);
    QBuffer info;
    info.open(QIODevice::WriteOnly);
    CArchive ar(&info, CArchive::Mode::Store);
    CCommInfo copy = doc.Info();
    copy.Serialize(ar);
    g_keyHeaderAt = info.data().size();
    return buffer.data();
}

void Mutate(QByteArray& bytes, std::mt19937& rng)
{
    std::uniform_int_distribution<int> kind(0, 5);
    const auto at = [&] {
        return static_cast<qsizetype>(std::uniform_int_distribution<qsizetype>(
            0, std::max<qsizetype>(0, bytes.size() - 1))(rng));
    };
    switch (kind(rng)) {
    case 0: // flip bytes
        for (int i = 0; i < 4 && !bytes.isEmpty(); ++i)
            bytes[at()] = static_cast<char>(rng());
        break;
    case 1: // truncate
        bytes.truncate(at());
        break;
    case 2: // hostile length prefix: 0xFF 0xFFFF then a huge 32-bit length
        bytes.insert(at(), QByteArray::fromHex("FFFFFFFFFFFF7F"));
        break;
    case 3: // 16-bit string marker with a large length
        bytes.insert(at(), QByteArray::fromHex("FFFEFFFFFFFFFFFF0F"));
        break;
    case 4: // duplicate a stretch
        if (!bytes.isEmpty()) {
            const qsizetype from = at();
            bytes.insert(at(), bytes.mid(from, 64));
        }
        break;
    default: // the largest macro count in the key block header
        if (bytes.size() >= g_keyHeaderAt + 4)
            bytes.replace(g_keyHeaderAt, 4, QByteArray::fromHex("FFFF0200"));
        break;
    }
}

// Serial probing during InitSession must never reach a real device.
struct CNoSerialPorts
{
    CNoSerialPorts()
    {
        QByteArray none;
        for (int com = 1; com <= 12; ++com)
            none += "COM" + QByteArray::number(com) + "=/nonexistent/tty" +
                    QByteArray::number(com) + ",";
        qputenv("TRELLIUM_PORTS", none);
    }
    ~CNoSerialPorts() { qunsetenv("TRELLIUM_PORTS"); }
};

// The whole open path of a session file: read, start the session, title.
void OpenBytes(CSessionContext& context, const QByteArray& bytes)
{
    CTrelliumDoc doc(context);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    doc.Load(buffer);
    doc.InitSession();
    doc.UpdateTitle();
    doc.OnCloseDocument();
}

TEST(HostileSessionFiles, PortIdsAtTheEdgesOfTheirRange)
{
    CRecordingAlerts alerts;
    CNoSerialPorts noPorts;
    CSessionContext context;
    for (const int32_t id : {INT32_MAX, INT32_MIN, -2, 253, 254, 259}) {
        for (const int32_t type : {0, 1, 5, 99, -1}) {
            CTrelliumDoc doc(context);
            doc.EditInfo()->m_nPortId = id;
            doc.EditInfo()->m_nConnectionType = type;
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            ASSERT_TRUE(doc.Save(buffer));
            OpenBytes(context, buffer.data());
        }
    }
    // A serial session whose stored port is out of range probes COM1..COM12
    // and, with none present, names COM0; the title never overflows.
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_nPortId = INT32_MAX;
    doc.EditInfo()->m_nConnectionType = ConnSerial;
    EXPECT_EQ(doc.ProbeSerialPort(INT32_MAX), PortIdNone);
    doc.UpdateTitle();
    EXPECT_TRUE(doc.GetTitle().startsWith(QStringLiteral("  COM2147483648 - ")))
        << doc.GetTitle().toStdString();
    doc.InitSession();
    EXPECT_TRUE(doc.GetTitle().startsWith(QStringLiteral("  COM0 - ")))
        << doc.GetTitle().toStdString();
}

TEST(HostileSessionFiles, TheLargestMacroCountLoadsEveryDistinctMacro)
{
    // 65535 macros with distinct identities (the key is a byte, the modifier
    // words are not range-checked), then a duplicate that is skipped.
    CBytes file;
    CSessionContext context;
    {
        CTrelliumDoc doc(context);
        QBuffer info;
        info.open(QIODevice::WriteOnly);
        CArchive ar(&info, CArchive::Mode::Store);
        CCommInfo copy = doc.Info();
        copy.Serialize(ar);
        file.Raw(info.data());
    }
    file.I32((2 << 16) | 0xFFFF);
    for (int i = 0; i < 0xFFFF - 1; ++i)
        file.U8(i & 0xFF)
            .I32(i >> 8)
            .I32(0)
            .I32(0)
            .Str("L")
            .Str("")
            .Str("d")
            .I32(0)
            .I32(0)
            .I32(0)
            .Str("");
    file.U8(0).I32(0).I32(0).I32(0).Str("dup").Str("").Str("d").I32(0).I32(0).I32(0).Str("");
    file.I32(0).Str("");
    CTrelliumDoc doc(context);
    QBuffer buffer;
    buffer.setData(file.Get());
    buffer.open(QIODevice::ReadOnly);
    ASSERT_TRUE(doc.Load(buffer));
    EXPECT_EQ(doc.m_funcKeys.Snapshot().size(), 0xFFFFu - 1);
    EXPECT_EQ(doc.m_funcKeys.FindKey(0, 0, 0, 0)->m_strLabel, QByteArray("L"));
    EXPECT_EQ(doc.m_funcKeys.FindKey(0xFD, 0xFF, 0, 0)->m_strData, QByteArray("d"));
}

TEST(SessionFileFuzz, DamagedFilesNeverCrashOrHang)
{
    CRecordingAlerts alerts; // "Serialize Error" goes here instead of stderr
    CNoSerialPorts noPorts;
    CSessionContext context;
    const QByteArray valid = ValidFile();
    ASSERT_EQ(valid.mid(g_keyHeaderAt, 4).toHex(), QByteArray("02000200"));
    std::mt19937 rng(20261208);
    int failures = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = valid;
        const int mutations = 1 + static_cast<int>(rng() % 4);
        for (int m = 0; m < mutations; ++m)
            Mutate(bytes, rng);
        CTrelliumDoc doc(context);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        if (!doc.Load(buffer))
            ++failures;
        doc.InitSession();
        doc.UpdateTitle();
        // Whatever was read can be written again.
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        EXPECT_TRUE(doc.Save(out));
    }
    EXPECT_GT(failures, 0);
    for (int round = 0; round < 1000; ++round) {
        QByteArray noise(static_cast<qsizetype>(rng() % 600), Qt::Uninitialized);
        for (char& c : noise)
            c = static_cast<char>(rng());
        CSessionContext context;
        CTrelliumDoc doc(context);
        QBuffer buffer(&noise);
        buffer.open(QIODevice::ReadOnly);
        doc.Load(buffer);
    }
}

} // namespace

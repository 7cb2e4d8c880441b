// A seeded random fuzz of the session file reader: mutated real files,
// hostile length prefixes and plain noise must never crash, hang or allocate
// beyond the file's size (the sanitizer build aborts on a huge allocation).
#include "SessionTestSupport.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <random>

namespace {

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
    default: // a large macro count in the key block header
        if (bytes.size() > 420)
            bytes.replace(416, 4, QByteArray::fromHex("FFFF0200"));
        break;
    }
}

TEST(SessionFileFuzz, DamagedFilesNeverCrashOrHang)
{
    CRecordingAlerts alerts; // "Serialize Error" goes here instead of stderr
    const QByteArray valid = ValidFile();
    std::mt19937 rng(20261208);
    int failures = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = valid;
        const int mutations = 1 + static_cast<int>(rng() % 4);
        for (int m = 0; m < mutations; ++m)
            Mutate(bytes, rng);
        CSessionContext context;
        CTrelliumDoc doc(context);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        if (!doc.Load(buffer))
            ++failures;
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

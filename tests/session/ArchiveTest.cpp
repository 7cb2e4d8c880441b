// The archive: integers, the three counted-string forms, 16-bit strings, and
// refusal of reads past the end.
#include "base/Archive.h"
#include "SessionTestSupport.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

QByteArray Store(const std::function<void(CArchive&)>& write)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, CArchive::Mode::Store);
    write(ar);
    return buffer.data();
}

QByteArray ReadString(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CArchive ar(&buffer, CArchive::Mode::Load);
    return ar.ReadString();
}

struct StringForm
{
    int length;
    QByteArray prefix;
};

class CountedStringForms : public ::testing::TestWithParam<StringForm>
{
};

TEST_P(CountedStringForms, WritesThePrefixAndReadsItBack)
{
    const StringForm form = GetParam();
    const QByteArray text(form.length, 'x');
    const QByteArray bytes = Store([&](CArchive& ar) { ar.WriteString(text); });
    EXPECT_EQ(bytes.left(form.prefix.size()).toHex(' '), form.prefix.toHex(' '));
    EXPECT_EQ(bytes.size(), form.prefix.size() + form.length);
    EXPECT_EQ(ReadString(bytes), text);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CountedStringForms,
    ::testing::Values(StringForm{0, QByteArray::fromHex("00")},
                      StringForm{254, QByteArray::fromHex("FE")},
                      StringForm{255, QByteArray::fromHex("FFFF00")},
                      StringForm{300, QByteArray::fromHex("FF2C01")},
                      StringForm{0xFFFD, QByteArray::fromHex("FFFDFF")},
                      StringForm{0xFFFE, QByteArray::fromHex("FFFFFFFEFF0000")},
                      StringForm{70000, QByteArray::fromHex("FFFFFF70110100")}));

TEST(Archive, IntegersAreLittleEndian)
{
    const QByteArray bytes = Store([](CArchive& ar) {
        ar.WriteI32(-234);
        ar.WriteU16(0x1234);
        ar.WriteU8(0xAB);
    });
    EXPECT_EQ(bytes.toHex(' '), QByteArray("16 ff ff ff 34 12 ab"));
}

TEST(Archive, SixteenBitStringsBecomeLatin1WithQuestionMarks)
{
    // FF FE FF marks 16-bit characters; the length follows in the same scheme.
    CBytes wide;
    wide.U8(0xFF).U16(0xFFFE).U8(4);
    for (char16_t c : {u'A', u'\u00E9', u'\u20AC', u'z'})
        wide.U16(c);
    EXPECT_EQ(ReadString(wide.Get()), QByteArray("A\xE9?z"));

    // A long 16-bit string uses the 16-bit length after the marker.
    CBytes longWide;
    longWide.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(300);
    for (int i = 0; i < 300; ++i)
        longWide.U16(u'q');
    EXPECT_EQ(ReadString(longWide.Get()), QByteArray(300, 'q'));

    // A surrogate pair is one character, so one '?'.
    CBytes pair;
    pair.U8(0xFF).U16(0xFFFE).U8(2).U16(0xD83D).U16(0xDE00);
    EXPECT_EQ(ReadString(pair.Get()), QByteArray("?"));
}

TEST(Archive, ReadsPastTheEndFail)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray::fromHex("05414243"),
                                    QByteArray::fromHex("FF"), QByteArray::fromHex("FFFFFF0100")}) {
        EXPECT_THROW(ReadString(bytes), CArchiveException) << bytes.toHex().constData();
    }
    QBuffer buffer;
    buffer.setData(QByteArray::fromHex("010203"));
    buffer.open(QIODevice::ReadOnly);
    CArchive ar(&buffer, CArchive::Mode::Load);
    EXPECT_THROW(ar.ReadU32(), CArchiveException);
}

// A device that remembers the largest read asked of it: an archive that
// trusted a length prefix would ask for (and first allocate) all of it.
class CRecordingBuffer final : public QBuffer
{
public:
    explicit CRecordingBuffer(const QByteArray& bytes)
    {
        setData(bytes);
        open(QIODevice::ReadOnly);
    }
    qint64 largestRead = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        largestRead = std::max(largestRead, maxSize);
        return QBuffer::readData(data, maxSize);
    }
};

TEST(Archive, HostileLengthsFailWithoutAllocating)
{
    // 4 GB claimed by an 8-byte file; the same claim in the 16-bit form asks
    // for 8 GB of characters; a 16-bit string longer than its file.
    for (const char* hex : {"FFFFFFFFFFFFFF41", "FFFEFFFFFFFFFFFFFF", "FFFEFF0A004100"}) {
        CRecordingBuffer device(QByteArray::fromHex(hex));
        CArchive ar(&device, CArchive::Mode::Load);
        EXPECT_THROW(ar.ReadString(), CArchiveException) << hex;
        EXPECT_LE(device.largestRead, 16) << hex; // refused before any large buffer
    }
}

} // namespace

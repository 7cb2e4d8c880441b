#include "base/Archive.h"

#include <QString>
#include <QStringView>
#include <QtEndian>

namespace {
// Reads of unknown size (pipes) grow in steps of this size, so a hostile length
// prefix costs no more memory than the bytes that really arrive.
constexpr qint64 kReadStep = 64 * 1024;
} // namespace

CArchive::CArchive(QIODevice* device, Mode mode) : m_device(device), m_mode(mode) {}

qint64 CArchive::Remaining() const
{
    if (m_device->isSequential())
        return -1;
    return m_device->size() - m_device->pos();
}

void CArchive::Require(qint64 count) const
{
    const qint64 left = Remaining();
    if (count < 0 || (left >= 0 && count > left))
        throw CArchiveException("archive ends early");
}

void CArchive::ReadExact(char* dest, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        const qint64 got = m_device->read(dest + done, count - done);
        if (got <= 0)
            throw CArchiveException("archive ends early");
        done += got;
    }
}

uint8_t CArchive::ReadU8()
{
    char c = 0;
    ReadExact(&c, 1);
    return static_cast<uint8_t>(c);
}

uint16_t CArchive::ReadU16()
{
    uchar b[2];
    ReadExact(reinterpret_cast<char*>(b), 2);
    return qFromLittleEndian<quint16>(b);
}

uint32_t CArchive::ReadU32()
{
    uchar b[4];
    ReadExact(reinterpret_cast<char*>(b), 4);
    return qFromLittleEndian<quint32>(b);
}

QByteArray CArchive::ReadBytes(qint64 count)
{
    Require(count);
    QByteArray out;
    if (Remaining() >= 0) {
        out.resize(count);
        ReadExact(out.data(), count);
        return out;
    }
    while (out.size() < count) {
        const qint64 step = std::min(kReadStep, count - out.size());
        const qint64 at = out.size();
        out.resize(at + step);
        ReadExact(out.data() + at, step);
    }
    return out;
}

uint32_t CArchive::ReadLengthPrefix(bool* wide)
{
    *wide = false;
    uint8_t first = ReadU8();
    if (first < 0xFF)
        return first;
    uint16_t second = ReadU16();
    if (second == 0xFFFE) {
        // 16-bit characters follow; their length comes again in the same scheme.
        *wide = true;
        first = ReadU8();
        if (first < 0xFF)
            return first;
        second = ReadU16();
    }
    if (second < 0xFFFE)
        return second;
    return ReadU32();
}

QByteArray CArchive::ReadString()
{
    bool wide = false;
    const qint64 length = ReadLengthPrefix(&wide);
    if (!wide)
        return ReadBytes(length);

    const QByteArray raw = ReadBytes(length * 2);
    QByteArray out;
    out.reserve(length);
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()), length);
    // One output character per UTF-16 unit pair or unit, as the ANSI conversion gives.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append('?');
            ++i;
        } else if (c.unicode() > 0xFF) {
            out.append('?');
        } else {
            out.append(static_cast<char>(c.unicode()));
        }
    }
    return out;
}

void CArchive::WriteBytes(const QByteArray& bytes)
{
    if (m_device->write(bytes) != bytes.size())
        throw CArchiveException("archive write failed");
}

void CArchive::WriteU8(uint8_t value)
{
    WriteBytes(QByteArray(1, static_cast<char>(value)));
}

void CArchive::WriteU16(uint16_t value)
{
    uchar b[2];
    qToLittleEndian<quint16>(value, b);
    WriteBytes(QByteArray(reinterpret_cast<const char*>(b), 2));
}

void CArchive::WriteU32(uint32_t value)
{
    uchar b[4];
    qToLittleEndian<quint32>(value, b);
    WriteBytes(QByteArray(reinterpret_cast<const char*>(b), 4));
}

void CArchive::WriteString(const QByteArray& text)
{
    const qint64 length = text.size();
    if (length < 0xFF) {
        WriteU8(static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(length));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(length));
    }
    WriteBytes(text);
}

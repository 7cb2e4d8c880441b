#pragma once
#include <QByteArray>
#include <QIODevice>
#include <cstdint>
#include <stdexcept>

// Thrown by CArchive when the device ends early, a length prefix claims more
// than the device still holds, or a write fails. Caught where the document is
// serialised; it never crosses the event loop.
class CArchiveException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The little-endian archive of session and workspace files over a QIODevice
// (not owned; it must stay open while the archive is used).
//
// Counted strings: a length byte below 255; otherwise 0xFF and a 16-bit
// length below 0xFFFE; otherwise 0xFF, 0xFFFF and a 32-bit length; then the
// 8-bit characters. On reading, 0xFF 0xFFFE announces 16-bit characters whose
// length follows again in the same scheme; characters outside Latin-1 read
// as '?'. Strings are always written with 8-bit characters.
//
// Reading never allocates more than the device still holds: a length that
// goes past the end fails before any buffer of that size is made.
class CArchive
{
public:
    enum class Mode
    {
        Load,
        Store,
    };

    CArchive(QIODevice* device, Mode mode);

    bool IsLoading() const { return m_mode == Mode::Load; }
    bool IsStoring() const { return m_mode == Mode::Store; }

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    QByteArray ReadBytes(qint64 count);
    QByteArray ReadString();

    void WriteU8(uint8_t value);
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
    void WriteBytes(const QByteArray& bytes);
    void WriteString(const QByteArray& text);

    // Bytes left to read, or -1 when the device cannot tell (a pipe).
    qint64 Remaining() const;

private:
    void ReadExact(char* dest, qint64 count);
    uint32_t ReadLengthPrefix(bool* wide);
    void Require(qint64 count) const;

    QIODevice* m_device;
    Mode m_mode;
};

// Serialises one field in the archive's direction.
inline void Exchange(CArchive& ar, int32_t& value)
{
    if (ar.IsStoring())
        ar.WriteI32(value);
    else
        value = ar.ReadI32();
}

inline void Exchange(CArchive& ar, uint32_t& value)
{
    if (ar.IsStoring())
        ar.WriteU32(value);
    else
        value = ar.ReadU32();
}

inline void Exchange(CArchive& ar, QByteArray& text)
{
    if (ar.IsStoring())
        ar.WriteString(text);
    else
        text = ar.ReadString();
}

// Data strings: the escape pass, the checksum token pass and file references.
#include "send/DataString.h"

#include "send/FileReference.h"

namespace {

// The longest keyword that can mean anything (CHK-CRC-32/CD-ROM-EDC); longer
// ones are dropped unread like any other unknown keyword.
constexpr qsizetype kMaxKeywordLength = 21;

// A percent escape whose two characters do not begin a hexadecimal number
// (%ZZ, %G1, % -) gives this byte. Zero is what the hexadecimal conversion
// would leave behind had it found no digits, and it is the same whatever the
// locale or the characters were.
constexpr uint8_t kUnreadableEscapeByte = 0x00;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

unsigned HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    return static_cast<unsigned>(c - 'A' + 10);
}

bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The byte of a percent escape: the two characters read as the "%X" input
// conversion reads them (leading white space, a sign and a 0x prefix
// accepted, stopping at the first non-digit), low 8 bits kept. Written out
// rather than handed to sscanf so that the C library's locale cannot change
// which characters count as white space.
uint8_t PercentEscapeByte(char first, char second)
{
    const char text[3] = {first, second, '\0'};
    const char* p = text;
    while (IsCSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsHexDigit(p[2])) {
        p += 2;
    }
    if (!IsHexDigit(*p)) {
        return kUnreadableEscapeByte;
    }
    unsigned value = 0;
    while (IsHexDigit(*p)) {
        value = value * 16 + HexValue(*p);
        ++p;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<uint8_t>(value & 0xFF);
}

// What lives for one send only.
struct SendProgress
{
    bool accumulating = false;
    uint64_t crcRegister = 0; // always the finished CRC of the bytes so far
};

void Accumulate(ChecksumState& state, SendProgress& send, uint8_t byte)
{
    if (!send.accumulating) {
        return;
    }
    switch (state.method) {
    case ChecksumState::Crc:
        // CHK-CRC-16 without a name selects CRC with no model ever loaded;
        // there is nothing to compute with then.
        if (state.model.width != 0) {
            send.crcRegister = CrcBytewise(state.model, send.crcRegister, &byte, 1);
        }
        break;
    case ChecksumState::Lrc:
        state.accumulator ^= byte;
        break;
    case ChecksumState::Sum:
    case ChecksumState::TwosComplement:
        state.accumulator = static_cast<uint8_t>(state.accumulator + byte);
        break;
    default:
        break;
    }
}

void AppendValue(QByteArray& out, uint64_t value, int bits, bool asHexText)
{
    if (asHexText) {
        const int digits = (bits + 3) / 4;
        out.append(QByteArray::number(static_cast<qulonglong>(value), 16)
                       .toUpper()
                       .rightJustified(digits, '0'));
        return;
    }
    // Least significant byte first, whatever order the model's protocol uses.
    for (int i = 0; i < (bits + 7) / 8; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void InsertChecksum(const ChecksumState& state, const SendProgress& send, QByteArray& out,
                    bool asHexText)
{
    switch (state.method) {
    case ChecksumState::Crc: {
        const int width = state.model.width;
        if (width != 0) {
            AppendValue(out, send.crcRegister & CrcOnes(width), width, asHexText);
        }
        break;
    }
    case ChecksumState::Lrc:
    case ChecksumState::Sum:
        AppendValue(out, state.accumulator, 8, asHexText);
        break;
    case ChecksumState::TwosComplement:
        AppendValue(out, static_cast<uint8_t>(0u - state.accumulator), 8, asHexText);
        break;
    default:
        break;
    }
}

void SelectCrcModel(ChecksumState& state, SendProgress& send, const QByteArray& operation,
                    int width)
{
    state.method = ChecksumState::Crc;
    // The model already loaded is used again without rebuilding its table.
    if (operation !=
        QByteArray(state.modelName, qstrnlen(state.modelName, sizeof(state.modelName)))) {
        if (operation.size() < 8 || operation[6] != '/') {
            return;
        }
        const QByteArray name = operation.mid(7);
        const CrcCatalogueRow* row =
            width == 16 ? FindCrc16Model(name.constData()) : FindCrc32Model(name.constData());
        if (row == nullptr) {
            return;
        }
        LoadCatalogueModel(state.model, width, *row);
        const QByteArray loadedName = operation.left(7) + row->name;
        qstrncpy(state.modelName, loadedName.constData(), sizeof(state.modelName));
    }
    send.accumulating = true;
    send.crcRegister = CrcBytewise(state.model, 0, nullptr, 0);
}

void ApplyKeyword(ChecksumState& state, SendProgress& send, QByteArray keyword, QByteArray& out)
{
    // A keyword is text: a NUL byte (from %00 or ^@) ends it.
    const qsizetype nul = keyword.indexOf('\0');
    if (nul >= 0) {
        keyword.truncate(nul);
    }
    if (!keyword.startsWith("CHK")) {
        return;
    }
    const qsizetype dash = keyword.indexOf('-');
    if (dash < 0) {
        return;
    }
    const QByteArray operation = keyword.mid(dash + 1);
    if (operation.startsWith("OUT")) {
        InsertChecksum(state, send, out, operation.mid(3).startsWith("HEXSTR"));
    } else if (operation.startsWith("START")) {
        send.accumulating = true;
    } else if (operation.startsWith("STOP")) {
        send.accumulating = false;
    } else if (operation.startsWith("CRC-16")) {
        SelectCrcModel(state, send, operation, 16);
    } else if (operation.startsWith("CRC-32")) {
        SelectCrcModel(state, send, operation, 32);
    } else if (operation == "LRC" || operation == "SUM" || operation.startsWith("2S_CMP")) {
        state.method = operation == "LRC"   ? ChecksumState::Lrc
                       : operation == "SUM" ? ChecksumState::Sum
                                            : ChecksumState::TwosComplement;
        state.accumulator = 0;
        send.accumulating = true;
    }
}

} // namespace

QByteArray DecodeDataString(const QByteArray& text)
{
    const qsizetype n = text.size();
    // The character after the last one reads as a terminator.
    const auto at = [&text, n](qsizetype i) { return i < n ? text[i] : '\0'; };
    QByteArray out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '^') {
            const char next = at(i + 1);
            out.append(next == '^' ? '^' : static_cast<char>(static_cast<uint8_t>(next) - 0x40));
            i += 2;
        } else if (c == '%') {
            if (i + 1 >= n) {
                throw CDataStringError("a data string cannot end in a lone percent sign");
            }
            if (text[i + 1] == '%') {
                out.append('%');
                i += 2;
            } else {
                out.append(static_cast<char>(PercentEscapeByte(text[i + 1], at(i + 2))));
                i += 3;
            }
        } else {
            out.append(c);
            ++i;
        }
    }
    return out;
}

EncodeResult EncodeDataString(const QByteArray& text, ChecksumState& state,
                              const TransmitFn& transmit)
{
    if (text.startsWith('*'))
        return {EncodeResult::Kind::FileSent, SendFileReference(text.mid(1), transmit)};

    const QByteArray decoded = DecodeDataString(text);
    const qsizetype n = decoded.size();
    SendProgress send;
    QByteArray out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const char c = decoded[i];
        if (c == '~' && i < n - 4 && decoded[i + 1] == '|') {
            // The keyword never takes in the last two bytes; the closing bar
            // and the byte after it go with the token.
            qsizetype k = i + 2;
            while (k < n - 2 && decoded[k] != '|') {
                ++k;
            }
            const qsizetype length = k - (i + 2);
            if (length <= kMaxKeywordLength) {
                ApplyKeyword(state, send, decoded.mid(i + 2, length), out);
            }
            i = k + 2;
            continue;
        }
        out.append(c);
        Accumulate(state, send, static_cast<uint8_t>(c));
        ++i;
    }
    transmit(out.constData(), static_cast<int>(out.size()));
    return {};
}

EncodeResult CSharedChecksum::Encode(const QByteArray& text, const TransmitFn& transmit)
{
    // A file send never touches the checksum state, and its blocks go out as
    // they are read rather than being gathered first.
    if (text.startsWith('*')) {
        ChecksumState unused;
        return EncodeDataString(text, unused, transmit);
    }
    // The lock covers the checksum state only: transmitting under it could
    // deadlock against a reader thread that waits here for an auto response.
    QByteArray bytes;
    EncodeResult result;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        result = EncodeDataString(text, m_state, [&bytes](const char* data, int count) {
            bytes = QByteArray(data, count);
        });
    }
    transmit(bytes.constData(), static_cast<int>(bytes.size()));
    return result;
}

ChecksumState CSharedChecksum::State() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_state;
}

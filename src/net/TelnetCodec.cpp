#include "net/TelnetCodec.h"

#include <cstring>

namespace Telnet {

bool CDecoder::Fail(const QString& why)
{
    m_error = why;
    return false;
}

bool CDecoder::Feed(const char* bytes, int count, CSink& sink)
{
    if (!m_error.isEmpty())
        return false;
    const auto* in = reinterpret_cast<const uint8_t*>(bytes);
    int runStart = -1; // start of the data run being gathered
    const auto flush = [&](int end) {
        if (runStart >= 0 && end > runStart)
            sink.OnData(bytes + runStart, end - runStart);
        runStart = -1;
    };
    for (int i = 0; i < count; ++i) {
        const uint8_t c = in[i];
        switch (m_state) {
        case State::Data:
            if (c == kIac) {
                flush(i);
                m_state = State::Iac;
            } else {
                if (runStart < 0)
                    runStart = i;
                if (c == '\r' && !m_bPeerBinary) {
                    flush(i + 1);
                    m_state = State::CarriageRet;
                }
            }
            break;
        case State::CarriageRet:
            m_state = State::Data;
            if (c == 0)
                break; // CR NUL stands for a lone CR, given already
            --i;       // anything else is read again as data
            break;
        case State::Iac:
            if (c == kIac) {
                m_state = State::Data;
                runStart = i; // the second of the pair is a data byte
            } else if (c >= kWill) {
                m_verb = c;
                m_state = State::Verb;
            } else if (c == kSb) {
                m_state = State::SubOption;
            } else if (c > kSe) {
                m_state = State::Data; // NOP, GA, AYT and the like: nothing to do
            } else {
                return Fail(
                    QStringLiteral("the remote end sent an unknown telnet command (%1)").arg(c));
            }
            break;
        case State::Verb:
            m_state = State::Data;
            sink.OnNegotiation(m_verb, c);
            break;
        case State::SubOption:
            m_subOption = c;
            m_payload.clear();
            m_state = State::Sub;
            break;
        case State::Sub:
            if (c == kIac) {
                m_state = State::SubIac;
            } else if (m_payload.size() >= kMaxSubnegotiation) {
                return Fail(QStringLiteral("the remote end sent a telnet subnegotiation longer "
                                           "than %1 bytes")
                                .arg(kMaxSubnegotiation));
            } else {
                m_payload.append(static_cast<char>(c));
            }
            break;
        case State::SubIac:
            if (c == kIac) {
                m_payload.append(static_cast<char>(kIac));
                m_state = State::Sub;
            } else if (c == kSe) {
                m_state = State::Data;
                sink.OnSubnegotiation(m_subOption, m_payload);
                m_payload.clear();
            } else {
                return Fail(QStringLiteral("the remote end broke off a telnet subnegotiation"));
            }
            break;
        }
    }
    if (m_state == State::Data)
        flush(count);
    return true;
}

QByteArray EscapeData(const char* bytes, int count)
{
    if (count <= 0)
        return {};
    const void* first = std::memchr(bytes, kIac, static_cast<size_t>(count));
    if (!first)
        return QByteArray(bytes, count);
    QByteArray out;
    out.reserve(count + count / 8 + 1);
    for (int i = 0; i < count; ++i) {
        out.append(bytes[i]);
        if (static_cast<uint8_t>(bytes[i]) == kIac)
            out.append(bytes[i]);
    }
    return out;
}

QByteArray Negotiation(uint8_t verb, uint8_t option)
{
    const char command[] = {static_cast<char>(kIac), static_cast<char>(verb),
                            static_cast<char>(option)};
    return QByteArray(command, sizeof command);
}

QByteArray Subnegotiation(uint8_t option, const QByteArray& payload)
{
    QByteArray out;
    out.append(static_cast<char>(kIac)).append(static_cast<char>(kSb));
    out.append(static_cast<char>(option));
    out.append(EscapeData(payload.constData(), static_cast<int>(payload.size())));
    out.append(static_cast<char>(kIac)).append(static_cast<char>(kSe));
    return out;
}

} // namespace Telnet

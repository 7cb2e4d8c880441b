#include "cli/JsonWriter.h"

#include <cstdio>

QByteArray CJsonWriter::Quote(const QByteArray& latin1)
{
    CJsonWriter writer;
    writer.EmitQuoted(latin1);
    return writer.m_out;
}

void CJsonWriter::FlushIfLarge()
{
    if (m_pStream && m_out.size() >= 64 * 1024) {
        std::fwrite(m_out.constData(), 1, static_cast<size_t>(m_out.size()), m_pStream);
        m_out.clear();
    }
}

void CJsonWriter::Emit(const QByteArray& text)
{
    m_out += text;
    FlushIfLarge();
}

void CJsonWriter::Finish()
{
    m_out += '\n';
    if (m_pStream) {
        std::fwrite(m_out.constData(), 1, static_cast<size_t>(m_out.size()), m_pStream);
        std::fflush(m_pStream);
        m_out.clear();
    }
}

void CJsonWriter::EmitQuoted(const QByteArray& latin1)
{
    QByteArray& out = m_out;
    out += '"';
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else if (byte < 0x80) {
                out += c;
            } else {
                // U+0080..U+00FF in UTF-8.
                out += static_cast<char>(0xC0 | (byte >> 6));
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        FlushIfLarge();
    }
    out += '"';
}

void CJsonWriter::Key(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out += ',';
        m_first.back() = false;
        m_out += '\n' + QByteArray(static_cast<qsizetype>(m_first.size()) * 2, ' ');
    }
    if (key) {
        EmitQuoted(key);
        m_out += ": ";
    }
}

void CJsonWriter::BeginObject(const char* key)
{
    Key(key);
    m_out += '{';
    m_first.push_back(true);
}

void CJsonWriter::EndObject()
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_out += '\n' + QByteArray(static_cast<qsizetype>(m_first.size()) * 2, ' ');
    m_out += '}';
}

void CJsonWriter::BeginArray(const char* key)
{
    Key(key);
    m_out += '[';
    m_first.push_back(true);
}

void CJsonWriter::EndArray()
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_out += '\n' + QByteArray(static_cast<qsizetype>(m_first.size()) * 2, ' ');
    m_out += ']';
}

void CJsonWriter::Value(const char* key, long long number)
{
    Key(key);
    m_out += QByteArray::number(number);
}

void CJsonWriter::Value(const char* key, const QByteArray& latin1)
{
    Key(key);
    EmitQuoted(latin1);
}

void CJsonWriter::Value(const char* key, bool flag)
{
    Key(key);
    m_out += flag ? "true" : "false";
}

void CJsonWriter::Raw(const char* key, const QByteArray& json)
{
    Key(key);
    Emit(json);
}

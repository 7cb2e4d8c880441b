#include "cli/JsonWriter.h"

#include <cstdio>

QByteArray CJsonWriter::Quote(const QByteArray& latin1)
{
    QByteArray out = "\"";
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
                out += QString(QChar(static_cast<char16_t>(byte))).toUtf8();
            }
        }
    }
    return out + '"';
}

void CJsonWriter::Key(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out += ',';
        m_first.back() = false;
        m_out += '\n' + QByteArray(static_cast<qsizetype>(m_first.size()) * 2, ' ');
    }
    if (key)
        m_out += Quote(key) + ": ";
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
    m_out += Quote(latin1);
}

void CJsonWriter::Value(const char* key, bool flag)
{
    Key(key);
    m_out += flag ? "true" : "false";
}

void CJsonWriter::Raw(const char* key, const QByteArray& json)
{
    Key(key);
    m_out += json;
}

#pragma once
#include <QByteArray>
#include <QString>
#include <cstdio>
#include <vector>

// A small JSON writer that keeps members in the order they are written (the
// companion's output lists its fields in a fixed order). Strings are given as
// bytes; each byte becomes the code point of the same value. Given a stream,
// it writes as it goes (a session holding a string of many megabytes is
// shown without a copy of its whole JSON in memory); call Finish at the end.
class CJsonWriter
{
public:
    explicit CJsonWriter(std::FILE* stream = nullptr) : m_pStream(stream) {}
    // Writes what is left and the final line break to the stream.
    void Finish();

    void BeginObject(const char* key = nullptr);
    void EndObject();
    void BeginArray(const char* key = nullptr);
    void EndArray();
    void Value(const char* key, long long number);
    void Value(const char* key, const QByteArray& latin1);
    void Value(const char* key, bool flag);
    void Raw(const char* key, const QByteArray& json);
    QByteArray Text() const { return m_out + '\n'; }

    static QByteArray Quote(const QByteArray& latin1);

private:
    void Key(const char* key);
    void Emit(const QByteArray& text);
    void EmitQuoted(const QByteArray& latin1);
    void FlushIfLarge();

    std::FILE* m_pStream;
    QByteArray m_out;
    std::vector<bool> m_first; // per open container: no member written yet
};

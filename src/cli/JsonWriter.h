#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// A small JSON writer that keeps members in the order they are written (the
// companion's output lists its fields in a fixed order). Strings are given as
// bytes; each byte becomes the code point of the same value.
class CJsonWriter
{
public:
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

    QByteArray m_out;
    std::vector<bool> m_first; // per open container: no member written yet
};

#pragma once
#include <QString>
#include <optional>
#include <utility>

// An error at the platform boundary: the errno of the failed call and a short
// context naming what was attempted ("cannot open /dev/ttyUSB0"). A
// default-constructed value means success. Plain value; any thread.
class CPlatformError
{
public:
    CPlatformError() = default;
    // An errorNumber of 0 makes a success value whatever the context. Take
    // errno into a local before building the context: formatting may change it.
    CPlatformError(int errorNumber, QString context)
        : m_errno(errorNumber), m_context(std::move(context))
    {
    }
    // A refusal of our own that no errno describes well ("it is not a regular
    // file"): `reason` stands in for the system's text, `errorNumber` stays
    // the nearest errno for callers that sort failures by it.
    CPlatformError(int errorNumber, QString context, QString reason)
        : m_errno(errorNumber), m_context(std::move(context)), m_reason(std::move(reason))
    {
    }
    bool IsError() const { return m_errno != 0; }
    int ErrorNumber() const { return m_errno; }
    const QString& Context() const { return m_context; }
    // Empty unless the refusal was our own; see CauseText.
    const QString& Reason() const { return m_reason; }

private:
    int m_errno = 0;
    QString m_context;
    QString m_reason;
};

// "cannot open /dev/ttyUSB0: Device or resource busy"; empty for success.
QString ErrorText(const CPlatformError& error);
// The cause alone ("Device or resource busy", "it is not a regular file");
// empty for success.
QString CauseText(const CPlatformError& error);
// The system's own text for an errno ("No such file or directory").
QString SystemErrorText(int errorNumber);

// A value, or the error that kept it from being made.
template <typename T> class CErrorOr
{
public:
    CErrorOr(T value) : m_value(std::move(value)) {}
    // `error` must be an error; a success value here would hold nothing.
    CErrorOr(CPlatformError error) : m_error(std::move(error)) {}

    bool IsError() const { return !m_value.has_value(); }
    const CPlatformError& Error() const { return m_error; }
    T& Value() { return *m_value; }
    const T& Value() const { return *m_value; }

private:
    std::optional<T> m_value;
    CPlatformError m_error;
};

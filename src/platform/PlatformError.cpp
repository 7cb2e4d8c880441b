#include "platform/PlatformError.h"

#include <system_error>

QString SystemErrorText(int errorNumber)
{
    return QString::fromStdString(std::system_category().message(errorNumber));
}

QString CauseText(const CPlatformError& error)
{
    if (!error.IsError())
        return {};
    return error.Reason().isEmpty() ? SystemErrorText(error.ErrorNumber()) : error.Reason();
}

QString ErrorText(const CPlatformError& error)
{
    if (!error.IsError())
        return {};
    const QString cause = CauseText(error);
    if (error.Context().isEmpty())
        return cause;
    return error.Context() + QStringLiteral(": ") + cause;
}

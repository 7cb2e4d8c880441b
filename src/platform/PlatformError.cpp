#include "platform/PlatformError.h"

#include <system_error>

QString SystemErrorText(int errorNumber)
{
    return QString::fromStdString(std::system_category().message(errorNumber));
}

QString ErrorText(const CPlatformError& error)
{
    if (!error.IsError())
        return {};
    const QString cause = SystemErrorText(error.ErrorNumber());
    if (error.Context().isEmpty())
        return cause;
    return error.Context() + QStringLiteral(": ") + cause;
}

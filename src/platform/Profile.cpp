#include "platform/Profile.h"

#include "TrelliumVersion.h"

namespace Platform {

std::unique_ptr<QSettings> OpenProfile()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral(TRELLIUM_COMPANY),
                                       QStringLiteral(TRELLIUM_PRODUCT_NAME));
}

} // namespace Platform

#include "display/TimeStamp.h"

#include <cstdio>

namespace TimeStamp {

QByteArray Format(int format, uint32_t elapsedMs, const QDateTime& now, Division division)
{
    char text[48] = {};
    switch (format) {
    case 1:
        std::snprintf(text, sizeof text, "<%ums>", elapsedMs);
        break;
    case 2: {
        const float single = static_cast<float>(elapsedMs);
        const double seconds = division == Division::Display
                                   ? static_cast<double>(single) / 1000.0
                                   : static_cast<double>(single / 1000.0f);
        std::snprintf(text, sizeof text, "<%.1fs>", seconds);
        break;
    }
    case 3:
        std::snprintf(text, sizeof text, "<%us>", elapsedMs / 1000u);
        break;
    case 4: {
        // Unsigned throughout: a pause of more than 24.8 days stays positive.
        const uint32_t total = elapsedMs / 1000u;
        const uint32_t minutes = total / 60u;
        const uint32_t seconds = total - 60u * minutes;
        if (minutes < 1)
            std::snprintf(text, sizeof text, "<%us>", seconds);
        else
            std::snprintf(text, sizeof text, "<%um %us>", minutes, seconds);
        break;
    }
    case 5: {
        const QDate d = now.date();
        const QTime t = now.time();
        std::snprintf(text, sizeof text, "<%04d-%02d-%02d %02d:%02d:%02d>", d.year(), d.month(),
                      d.day(), t.hour(), t.minute(), t.second());
        break;
    }
    case 6: {
        const QTime t = now.time();
        std::snprintf(text, sizeof text, "<%02d:%02d:%02d>", t.hour(), t.minute(), t.second());
        break;
    }
    default:
        return {};
    }
    return QByteArray(text);
}

const char* FormatName(int format)
{
    static const char* const kNames[kFormatCount] = {
        "Off",
        "Milliseconds",
        "Seconds in tenths",
        "Seconds",
        "Minutes and seconds",
        "Clock date and time",
        "Clock time",
    };
    return format >= 0 && format < kFormatCount ? kNames[format] : "";
}

} // namespace TimeStamp

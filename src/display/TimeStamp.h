#pragma once
#include <QByteArray>
#include <QDateTime>
#include <cstdint>

// The time-stamp texts shared by the terminal display and the capture file.
// Formats: 0 off, 1 "<%dms>", 2 "<%.1fs>", 3 "<%ds>", 4 "<%ds>" / "<%dm %ds>",
// 5 "<YYYY-MM-DD hh:mm:ss>", 6 "<hh:mm:ss>". Formats 1-4 show elapsed (ms),
// 5 and 6 the local wall-clock time `now`.
namespace TimeStamp {

inline constexpr int kFormatCount = 7; // including 0, off

// How format 2 divides: the display converts the single-precision value to
// double before dividing by 1000.0; the capture file divides in single
// precision. The two can round differently in the last digit.
enum class Division
{
    Display,
    Capture,
};

// Returns the stamp text, or an empty array for format 0 and unknown formats.
QByteArray Format(int format, uint32_t elapsedMs, const QDateTime& now,
                  Division division = Division::Display);

// A stamp is due when the time since the last one is strictly greater than the
// minimum interval, both compared as unsigned.
inline bool IsDue(uint32_t elapsedMs, int32_t minIntervalMs)
{
    return elapsedMs > static_cast<uint32_t>(minIntervalMs);
}

// The display's names of the formats, index = format.
const char* FormatName(int format);

} // namespace TimeStamp

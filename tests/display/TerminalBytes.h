#pragma once
// Bytes such as a terminal display meets: mostly letters, with line ends,
// backspaces and erase sequences, and any byte value now and then. With
// `longRuns`, long stretches of printable text lie between them (the runs a
// flood of text brings).
#include <random>
#include <string>

inline std::string TerminalBytes(std::mt19937& random, size_t length, bool longRuns = false)
{
    std::string bytes(length, '\0');
    for (char& c : bytes) {
        const int kind = static_cast<int>(random() % (longRuns ? 200 : 10));
        c = kind < 6    ? static_cast<char>('a' + random() % 26)
            : kind < 8  ? "\r\n\b\x1b[J"[random() % 6]
            : kind < 10 ? static_cast<char>(random())
                        : static_cast<char>(' ' + random() % 95);
    }
    return bytes;
}

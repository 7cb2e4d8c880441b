#pragma once
#include <QString>

// Network services offered by the settings pane's service selector and named
// in session titles.
namespace ServiceTable {

struct Entry
{
    const char* name;
    int port; // -1 for "Custom"
};

inline constexpr Entry kEntries[] = {
    {"Custom", -1}, {"FTP", 21},   {"Telnet", 23}, {"SMTP", 25},
    {"HTTP", 80},   {"POP3", 110}, {"NNTP", 119},
};

// The name of the first entry with this port, else "Port %d".
QString ServiceName(int port);

} // namespace ServiceTable

#pragma once

// The program's history setting: how many lines each session's display
// keeps. It lives in the profile (section "Display", value "HistoryLines"),
// not in session files, whose format stays as it is.
namespace HistorySetting {
// 100 when the profile holds no number; clamped to 100 .. 1,000,000.
int Load();
void Save(int lines);
} // namespace HistorySetting

#pragma once
// The display modes by name, and the settings of a display in one of them.
#include "display/DisplayRenderer.h"

inline constexpr int kMont = 0;
inline constexpr int kText = 1;
inline constexpr int kHex = 2;

inline CDisplaySettings Mode(int mode)
{
    CDisplaySettings settings;
    settings.m_nMode = mode;
    return settings;
}

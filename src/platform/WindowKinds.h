#pragma once
#include <Qt>

// The decorations the program asks of the window manager for its own
// windows.
namespace WindowKinds {

// Dialogs: a caption and a close box; nothing to minimise or maximise.
constexpr Qt::WindowFlags kDialog = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Tool windows (the ASCII chart, the converter): a caption with a system
// menu, a minimise box and a close box, no maximise box (their size is
// fixed).
constexpr Qt::WindowFlags kToolWindow = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowCloseButtonHint;

} // namespace WindowKinds

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
// fixed). Of the dialog kind, so that the window manager keeps them above
// the window that owns them (a plain window it stacks on its own) and
// offers no maximise for them.
constexpr Qt::WindowFlags kToolWindow = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowCloseButtonHint;

} // namespace WindowKinds

#pragma once
#include <QIcon>

// The program's icon, drawn at start-up: every frame, the About box and the
// desktop entry's image show it instead of the toolkit's default.
QIcon TrelliumIcon();

#pragma once
#include <QSettings>
#include <memory>

namespace Platform {
// The user's profile: QSettings under company "Brackwater", application
// "Trellium" (an INI file under ~/.config), with the section and value names
// the program has always used ("Recent File List", "TRASCII", ...).
// Each call gives a fresh object; use it on one thread.
std::unique_ptr<QSettings> OpenProfile();
} // namespace Platform

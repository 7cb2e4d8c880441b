// Trellium: the desktop program.
#include "TrelliumVersion.h"
#include "app/TrelliumApp.h"

#include <cstdio>
#include <cstring>

namespace {

// Printed by --help and turned into the manual page at build time.
const char kHelp[] =
    "Usage: trellium [--online] [FILE]...\n"
    "Trellium, a communications test utility: serial ports, TCP and UDP sessions.\n"
    "Each FILE is a session document (.trw) to open beside the saved workspace.\n"
    "\n"
    "Options:\n"
    "      --online   open the FILEs' sessions online\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so that they work on a
    // terminal without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("%s %s\n", TRELLIUM_PRODUCT_NAME, TRELLIUM_PRODUCT_VERSION);
            return 0;
        }
    }
    CTrelliumApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}

// Trellium: the desktop program.
#include "app/TrelliumApp.h"

int main(int argc, char** argv)
{
    CTrelliumApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}

// Build tool: writes the program's icon as a PNG for the desktop entry.
#include "app/AppIcon.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: trellium-icon SIZE OUTPUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    return TrelliumIcon().pixmap(size, size).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}

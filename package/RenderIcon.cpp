// Paints the console's program icon into a PNG file for the desktop menu:
//   kt64_render_icon SIZE FILE
// Run at build time (offscreen platform); the menu then shows the clock face
// that the console draws for its window and tray.
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

#include "ConsoleIcons.h"
#include "ConsoleView.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kt64_render_icon SIZE FILE\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 512) {
        std::fprintf(stderr, "kt64_render_icon: size %s is not between 16 and 512\n", argv[1]);
        return 2;
    }
    const QPixmap pixmap = kt64::console::consoleIconPixmap(kt64::console::kIconNormal, size);
    if (!pixmap.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "kt64_render_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

// Writes the program's icon at every size the desktop's icon theme looks for, as
// packaging/icons/hicolor/SIZExSIZE/apps/lumarq.png under the folder given (the
// source tree). Run by scripts/make_icons.sh; the results are kept in the
// repository and installed with the program.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "icon_artwork.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    bool ok = true;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/packaging/icons/hicolor/%2x%2/apps").arg(root).arg(size);
        ok = QDir().mkpath(folder) && DrawIcon(size).save(folder + QStringLiteral("/lumarq.png"), "PNG") && ok;
    }
    if (!ok) std::fprintf(stderr, "make_icons: could not write every icon\n");
    return ok ? 0 : 1;
}

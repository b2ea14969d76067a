// Writes the program's icon as PNG files for the desktop: DIR/<n>x<n>/apps/kx4tabletool.png.
#include <QDir>
#include <QGuiApplication>
#include <iostream>

#include "ui/Images.h"

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: kx4writeicons DIR\n";
        return 2;
    }
    for (const int size : kx4::kProgramIconSizes) {
        const QString dir =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) || !kx4::programIcon(size).save(dir + "/kx4tabletool.png")) {
            std::cerr << "kx4writeicons: cannot write " << dir.toStdString() << '\n';
            return 1;
        }
    }
    return 0;
}

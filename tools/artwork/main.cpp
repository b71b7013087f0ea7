// SPDX-License-Identifier: GPL-3.0-or-later
// make-artwork OUTPUT_DIR: writes every skin picture as OUTPUT_DIR/<name>.png.
// `cmake --build --preset test --target artwork` rewrites src/ui/artwork with it.
#include "Artwork.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "make-artwork: cannot make %s\n", argv[1]);
        return 1;
    }
    for (const auto& picture : korvello::artwork::DrawAll()) {
        const QString file = out.filePath(picture.name + QStringLiteral(".png"));
        if (!picture.image.save(file, "PNG")) {
            std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

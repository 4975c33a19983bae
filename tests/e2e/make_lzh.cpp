// Packs pictures into an LZH archive for the end-to-end cases (no LZH writer is installed
// on the test machines, and Python cannot write one):
//   folivo_e2e_make_lzh OUT.lzh FILE...   each FILE stored under its own name, -lh5-
#include "support/lzh_writer.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT.lzh FILE...\n", argv[0]);
        return 2;
    }
    folivo::test::LzhWriter lzh;
    for (int i = 2; i < argc; ++i) {
        QFile file(QFile::decodeName(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        lzh.addFile(QFileInfo(file).fileName().toUtf8(), file.readAll());
    }
    return lzh.write(QFile::decodeName(argv[1])) ? 0 : 1;
}

// gerar-gia-limpa SAIDA.mdb: writes the empty package template from the NovaGIA layout.
// Run by the build; the file is laid out and installed beside the program.

#include "data/NovaGiaLayout.h"
#include "jet/JetDatabase.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("uso: gerar-gia-limpa SAIDA.mdb\n", stderr);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const fiscora::Status written =
        fiscora::jet::writeDatabase(path, fiscora::NovaGiaLayout::emptyDatabase());
    if (!written) {
        std::fprintf(stderr, "gerar-gia-limpa: %s\n", written.error().description.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

#pragma once

#include <QStringList>

class QTextStream;

namespace fiscora {

// The modes that run without a window or a display:
//   fiscora --converter ARQUIVO.prf SAIDA.mdb   converts a GIA text file with the program
//                                               folder's template
//   fiscora --listar ARQUIVO.mdb IE             prints the taxpayer's GIAs, one per line:
//                                               number, reference, regime, type, tab-separated
// Exit codes: 0 done, 1 failed (the message on the error stream), 2 wrong arguments.
class CommandLine final {
public:
    // True when the raw arguments ask for one of these modes.
    static bool requested(int argc, char** argv);
    // Runs the mode; the program folder must be fixed already.
    static int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
};

} // namespace fiscora

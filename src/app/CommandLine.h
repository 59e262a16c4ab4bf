#pragma once

#include <QStringList>

class QTextStream;

namespace fiscora {

// What fiscora is asked to do. With nothing but "--pasta DIR" and Qt's own options (-platform,
// -style, -display, ...) it opens the windows; otherwise, without a window or a display:
//   fiscora --converter ARQUIVO.prf SAIDA.mdb   converts a GIA text file with the program
//                                               folder's template
//   fiscora --listar ARQUIVO.mdb IE             prints the taxpayer's GIAs (IE with or without
//                                               its points), one per line: number, reference,
//                                               regime, type, tab-separated, control characters
//                                               of the stored fields escaped
//   fiscora --help | --version
// Exit codes: 0 done, 1 failed (the message on the error stream), 2 wrong arguments (an unknown
// option among them: the usage on the error stream).
class CommandLine final {
public:
    // True when the raw arguments ask for the windows.
    static bool windowsRequested(int argc, char** argv);
    // Does what the arguments ask for when it is not the windows; fixes the program folder for
    // the modes that need it.
    static int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
};

} // namespace fiscora

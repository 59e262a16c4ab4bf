#pragma once

#include "core/ProgramFolder.h"

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
//   fiscora --transmitir [ARQUIVO_OU_PASTA] [--pgdas PASTA] [--ie IE]... --certificado CERTIFICADO
//           [--reenviar]                        sends the GIAs of a NovaGIA export or a folder of
//                                               GIA text files, one upload per taxpayer, and the
//                                               PGDAS documents of a folder, one upload each
//                                               (TransmitCommand, in a module of its own); those
//                                               the server lists already only with --reenviar
//   fiscora --help | --version
// Exit codes: 0 done, 1 failed (the message on the error stream), 2 wrong arguments (an unknown
// option among them: the usage on the error stream).
struct CommandRequest {
    enum Kind { Windows, Convert, List, Transmit, Help, Version, Wrong } kind = Windows;
    QString first; // --transmitir: the GIA export or folder, empty when only --pgdas is given
    QString second;
    QStringList ies;       // --transmitir: the taxpayers to send, none for all
    QString certificate;   // --transmitir
    QString problem;       // why the arguments are wrong
    bool resend = false;   // --transmitir --reenviar: references the server lists go again
    QString pgdasFolder{}; // --transmitir --pgdas: the folder of PGDAS documents
};

class CommandLine final {
public:
    static CommandRequest parse(const QStringList& arguments);
    // What the raw arguments ask for.
    static CommandRequest::Kind requested(int argc, char** argv);
    // The usage, with the problem first when there is one; 2.
    static int usage(const QString& problem, QTextStream& err);
    // The IE as the databases store it, "###.###.###.###": twelve digits get their points.
    static QString storedIe(const QString& ie);
    // The application's names, by which its settings and data are found.
    static void nameApplication();
    // The program folder the arguments fix; the failure also goes to err.
    static Result<ProgramFolder> useProgramFolder(const QStringList& arguments, QTextStream& err);
    // Does what the arguments ask for when it is neither the windows nor a transmission; fixes the
    // program folder for the modes that need it.
    static int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
};

} // namespace fiscora

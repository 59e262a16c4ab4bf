#pragma once

// The lines fiscora-leitor-pkcs11 writes to its standard output and Pkcs11CertificateSource
// decodes. Plain C++: the helper does not link Qt.
//
//   FISCORA-PKCS11 1        first line
//   T SLOT LABEL-HEX        a present, initialized token; its label in hexadecimal (UTF-8)
//   C SLOT DER-BASE64       a certificate of the token of that slot
//   X SLOT                  the certificates of that token could not be read
//   Z                       the whole module was read
//
// With --registrados, the token drivers registered with p11-kit instead:
//   FISCORA-PKCS11 1
//   M NAME-HEX PATH-HEX     a driver p11-kit's proxy would load: its name and its file (UTF-8)
//   Z                       the whole list

namespace fiscora::pkcs11protocol {

inline constexpr char kMagic[] = "FISCORA-PKCS11 1";
inline constexpr char kRegistered[] = "--registrados";

enum Record : char {
    Token = 'T',
    Certificate = 'C',
    Unreadable = 'X',
    End = 'Z',
    Module = 'M',
};

// Exit codes of the helper.
enum ExitCode {
    Done = 0,
    Usage = 2,
    ModuleFailed = 3, // the module did not load or did not initialize
    SlotsFailed = 4,  // the module loaded but did not list its slots
    ListFailed = 5,   // p11-kit's configuration could not be read
};

} // namespace fiscora::pkcs11protocol

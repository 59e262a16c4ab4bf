#pragma once

// The lines fiscora-leitor-pkcs11 writes to its standard output and Pkcs11CertificateSource
// decodes. Plain C++: the helper does not link Qt.
//
//   FISCORA-PKCS11 1        first line
//   T SLOT LABEL-HEX        a present, initialized token; its label in hexadecimal (UTF-8)
//   C SLOT DER-BASE64       a certificate of the token of that slot
//   X SLOT                  the certificates of that token could not be read
//   Z                       the whole module was read

namespace fiscora::pkcs11protocol {

inline constexpr char kMagic[] = "FISCORA-PKCS11 1";

enum Record : char {
    Token = 'T',
    Certificate = 'C',
    Unreadable = 'X',
    End = 'Z',
};

// Exit codes of the helper.
enum ExitCode {
    Done = 0,
    Usage = 2,
    ModuleFailed = 3, // the module did not load or did not initialize
    SlotsFailed = 4,  // the module loaded but did not list its slots
};

} // namespace fiscora::pkcs11protocol

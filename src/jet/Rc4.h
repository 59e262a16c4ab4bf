#pragma once

#include <QtGlobal>

namespace fiscora::jet {

// RC4 stream cipher; Jet uses it to obfuscate part of the header page.
class Rc4 final {
public:
    Rc4(const quint8* key, int keyLength);
    void apply(quint8* data, int length); // encrypts and decrypts alike

private:
    quint8 m_state[256];
    quint8 m_i = 0;
    quint8 m_j = 0;
};

} // namespace fiscora::jet

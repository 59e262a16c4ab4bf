#include "jet/Rc4.h"

#include <utility>

namespace fiscora::jet {

Rc4::Rc4(const quint8* key, int keyLength) {
    for (int i = 0; i < 256; ++i)
        m_state[i] = quint8(i);
    quint8 j = 0;
    for (int i = 0; i < 256; ++i) {
        j = quint8(j + m_state[i] + key[i % keyLength]);
        std::swap(m_state[i], m_state[j]);
    }
}

void Rc4::apply(quint8* data, int length) {
    for (int k = 0; k < length; ++k) {
        m_i = quint8(m_i + 1);
        m_j = quint8(m_j + m_state[m_i]);
        std::swap(m_state[m_i], m_state[m_j]);
        data[k] ^= m_state[quint8(m_state[m_i] + m_state[m_j])];
    }
}

} // namespace fiscora::jet

// fiscora-leitor-pkcs11: loads one PKCS#11 module with libp11 and writes the certificates of its
// tokens to standard output, without logging in (certificates are public objects).
//
// A token driver can hang (a reader that stops answering) or crash, so the program never loads
// one itself: it runs this helper per module as a child process under a time limit and keeps
// whatever the other modules gave.
//
// Usage: fiscora-leitor-pkcs11 MODULE
//
// Output, one record per line (see certificates/Pkcs11Protocol.h):
//   FISCORA-PKCS11 1
//   T SLOT LABEL-HEX          a present, initialized token
//   C SLOT DER-BASE64         one certificate of that token
//   X SLOT                    the token's certificates could not be read (removed while read)
//   Z                         the whole module was read

#include "certificates/Pkcs11Protocol.h"

#include <libp11.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace proto = fiscora::pkcs11protocol;

// Records go to a descriptor of their own: drivers may print to standard output, which is sent to
// standard error instead.
class Output {
public:
    Output()
        : m_fd(dup(STDOUT_FILENO)) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    ~Output() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Each record is written at once, so a module that hangs later leaves whole records behind.
    void line(const std::string& text) {
        const std::string record = text + '\n';
        std::size_t done = 0;
        while (done < record.size()) {
            const ssize_t n = write(m_fd, record.data() + done, record.size() - done);
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }

private:
    int m_fd;
};

std::string hex(const char* text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        out += digits[byte >> 4];
        out += digits[byte & 0x0f];
    }
    return out;
}

std::string base64Der(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0)
        return {};
    std::vector<unsigned char> encoded(std::size_t(4 * ((length + 2) / 3) + 1));
    const int written = EVP_EncodeBlock(encoded.data(), der, length);
    OPENSSL_free(der);
    return std::string(reinterpret_cast<const char*>(encoded.data()), std::size_t(written));
}

} // namespace

int main(int argc, char** argv) {
    // Ends with the program that started it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 2)
        return proto::Usage;
    Output out;
    out.line(proto::kMagic);

    PKCS11_CTX* context = PKCS11_CTX_new();
    if (!context)
        return proto::ModuleFailed;
    if (PKCS11_CTX_load(context, argv[1]) != 0) {
        PKCS11_CTX_free(context);
        return proto::ModuleFailed;
    }

    PKCS11_SLOT* slots = nullptr;
    unsigned int slotCount = 0;
    if (PKCS11_enumerate_slots(context, &slots, &slotCount) != 0) {
        PKCS11_CTX_unload(context);
        PKCS11_CTX_free(context);
        return proto::SlotsFailed;
    }
    for (unsigned int i = 0; i < slotCount; ++i) {
        PKCS11_TOKEN* token = slots[i].token;
        // An empty reader, or a blank token (SoftHSM always offers one), holds nothing to list.
        if (!token || !token->initialized)
            continue;
        const std::string slot = std::to_string(i);
        out.line(std::string(1, proto::Token) + ' ' + slot + ' ' + hex(token->label));
        PKCS11_CERT* certificates = nullptr;
        unsigned int certificateCount = 0;
        if (PKCS11_enumerate_certs(token, &certificates, &certificateCount) != 0) {
            out.line(std::string(1, proto::Unreadable) + ' ' + slot);
            continue;
        }
        for (unsigned int c = 0; c < certificateCount; ++c) {
            if (!certificates[c].x509)
                continue;
            const std::string der = base64Der(certificates[c].x509);
            if (!der.empty())
                out.line(std::string(1, proto::Certificate) + ' ' + slot + ' ' + der);
        }
    }
    PKCS11_release_all_slots(context, slots, slotCount);
    PKCS11_CTX_unload(context);
    PKCS11_CTX_free(context);
    out.line(std::string(1, proto::End));
    return proto::Done;
}

// fiscora-leitor-pkcs11: loads one PKCS#11 module with libp11 and writes the certificates of its
// tokens to standard output, without logging in (certificates are public objects).
//
// A token driver can hang (a reader that stops answering) or crash, so the program never loads
// one itself: it runs this helper per module as a child process under a time limit and keeps
// whatever the other modules gave.
//
// Usage: fiscora-leitor-pkcs11 MODULE
//        fiscora-leitor-pkcs11 --registrados
//
// Output, one record per line (see certificates/Pkcs11Protocol.h):
//   FISCORA-PKCS11 1
//   T SLOT LABEL-HEX          a present, initialized token
//   C SLOT DER-BASE64         one certificate of that token
//   X SLOT                    the token's certificates could not be read (removed while read)
//   Z                         the whole module was read
// With --registrados, the drivers registered with p11-kit, which the program then reads one by
// one, so that a driver that fails costs only its own tokens:
//   M NAME-HEX PATH-HEX       a driver p11-kit's proxy would load
//   Z                         the whole list

#include "certificates/Pkcs11Protocol.h"

#include <libp11.h>
// p11_kit_set_progname: the list is the one p11-kit's proxy would load.
#define P11_KIT_FUTURE_UNSTABLE_API
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <p11-kit/p11-kit.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string owned(char* text) {
    std::string copy = text ? text : "";
    std::free(text);
    return copy;
}

int listRegistered(Output& out) {
    p11_kit_be_quiet();
    p11_kit_set_progname("p11-kit-proxy");
    // Loaded only to be named, never initialized: the drivers start in the readers.
    CK_FUNCTION_LIST** modules = p11_kit_modules_load(nullptr, P11_KIT_MODULE_UNMANAGED);
    if (!modules)
        return proto::ListFailed;
    for (CK_FUNCTION_LIST** module = modules; *module; ++module) {
        const std::string path = owned(p11_kit_module_get_filename(*module));
        if (!path.empty())
            out.line(std::string(1, proto::Module) + ' ' +
                     hex(owned(p11_kit_module_get_name(*module)).c_str()) + ' ' + hex(path.c_str()));
    }
    p11_kit_modules_release(modules);
    out.line(std::string(1, proto::End));
    return proto::Done;
}

} // namespace

int main(int argc, char** argv) {
    // Ends with the program that started it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 2)
        return proto::Usage;
    Output out;
    out.line(proto::kMagic);
    if (std::strcmp(argv[1], proto::kRegistered) == 0)
        return listRegistered(out);

    PKCS11_CTX* context = PKCS11_CTX_new();
    if (!context)
        return proto::ModuleFailed;
    if (PKCS11_CTX_load(context, argv[1]) != 0) {
        PKCS11_CTX_free(context);
        return proto::ModuleFailed;
    }

    // Counted first: libp11 takes a module without slots (no reader, or its service not running)
    // for one that failed.
    PKCS11_SLOT* slots = nullptr;
    unsigned int slotCount = 0;
    if (PKCS11_enumerate_slots(context, nullptr, &slotCount) != 0 ||
        (slotCount > 0 && PKCS11_enumerate_slots(context, &slots, &slotCount) != 0)) {
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
    if (slots)
        PKCS11_release_all_slots(context, slots, slotCount);
    PKCS11_CTX_unload(context);
    PKCS11_CTX_free(context);
    out.line(std::string(1, proto::End));
    return proto::Done;
}

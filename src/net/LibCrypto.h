#pragma once

#include "core/Result.h"
#include "core/SystemLibrary.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/stack.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace fiscora {

// The functions of OpenSSL's libcrypto the program calls. Only reading certificates and
// checking an update need them, so the library is opened then, not with the program; code
// calls them through this table and never directly (OpenSSL's stack macros call libcrypto
// themselves: use stackSize/stackItem).
#define FISCORA_LIBCRYPTO(X)                                                                                 \
    X(ASN1_STRING_get0_data)                                                                                 \
    X(ASN1_STRING_length)                                                                                    \
    X(BIO_free)                                                                                              \
    X(BIO_new_mem_buf)                                                                                       \
    X(CRL_DIST_POINTS_free)                                                                                  \
    X(CRYPTO_free)                                                                                           \
    X(d2i_PKCS12)                                                                                            \
    X(d2i_X509)                                                                                              \
    X(ERR_clear_error)                                                                                       \
    X(EVP_DigestFinal_ex)                                                                                    \
    X(EVP_DigestInit_ex)                                                                                     \
    X(EVP_DigestUpdate)                                                                                      \
    X(EVP_DigestVerify)                                                                                      \
    X(EVP_DigestVerifyInit)                                                                                  \
    X(EVP_MD_CTX_free)                                                                                       \
    X(EVP_MD_CTX_new)                                                                                        \
    X(EVP_PKEY_free)                                                                                         \
    X(EVP_PKEY_get_id)                                                                                       \
    X(EVP_sha256)                                                                                            \
    X(GENERAL_NAMES_free)                                                                                    \
    X(i2d_X509)                                                                                              \
    X(OBJ_obj2txt)                                                                                           \
    X(OPENSSL_sk_free)                                                                                       \
    X(OPENSSL_sk_num)                                                                                        \
    X(OPENSSL_sk_pop)                                                                                        \
    X(OPENSSL_sk_value)                                                                                      \
    X(OSSL_PROVIDER_try_load)                                                                                \
    X(OSSL_PROVIDER_unload)                                                                                  \
    X(PEM_read_bio_PUBKEY)                                                                                   \
    X(PKCS12_free)                                                                                           \
    X(PKCS12_mac_present)                                                                                    \
    X(PKCS12_parse)                                                                                          \
    X(PKCS12_verify_mac)                                                                                     \
    X(X509_free)                                                                                             \
    X(X509_get_ext_d2i)

struct LibCrypto {
    FISCORA_LIBCRYPTO(FISCORA_LIBRARY_SLOT)

    template <typename Stack> int stackSize(const Stack* stack) const {
        return OPENSSL_sk_num(reinterpret_cast<const OPENSSL_STACK*>(stack));
    }
    template <typename Item, typename Stack> Item* stackItem(const Stack* stack, int index) const {
        return static_cast<Item*>(OPENSSL_sk_value(reinterpret_cast<const OPENSSL_STACK*>(stack), index));
    }
};

// libcrypto, opened on the first call (from any thread), or why it could not be.
const Result<const LibCrypto*>& libCrypto();

} // namespace fiscora

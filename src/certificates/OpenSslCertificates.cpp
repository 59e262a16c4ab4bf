#include "certificates/OpenSslCertificates.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <climits>
#include <ctime>
#include <memory>

namespace fiscora {

namespace {

// Loaded once, on first use, and unloaded when the program ends. The holder is created after
// OpenSSL has initialised itself, so it is destroyed before OpenSSL's own clean-up runs.
class LegacyProvider {
public:
    LegacyProvider()
        // retain_fallbacks = 1: the default provider stays available to everything else.
        : m_provider(OSSL_PROVIDER_try_load(nullptr, "legacy", 1)) {}
    ~LegacyProvider() {
        if (m_provider)
            OSSL_PROVIDER_unload(m_provider);
    }
    LegacyProvider(const LegacyProvider&) = delete;
    LegacyProvider& operator=(const LegacyProvider&) = delete;

private:
    OSSL_PROVIDER* m_provider;
};

void loadLegacyProvider() {
    static const LegacyProvider provider;
}

} // namespace

Pkcs12Reader::Status openSslReadPkcs12(const QByteArray& container, const QString& password,
                                       QByteArray* certificateDer) {
    using Status = Pkcs12Reader::Status;
    loadLegacyProvider();
    ERR_clear_error();
    const auto* bytes = reinterpret_cast<const unsigned char*>(container.constData());
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> p12(d2i_PKCS12(nullptr, &bytes, container.size()),
                                                        &PKCS12_free);
    if (!p12) {
        ERR_clear_error();
        return Status::NotPkcs12;
    }

    QByteArray secret = password.toUtf8();
    // An empty password is written either as an empty text or as no password at all.
    const char* pass = secret.constData();
    int passLength = static_cast<int>(secret.size());
    if (PKCS12_mac_present(p12.get())) {
        bool verified = PKCS12_verify_mac(p12.get(), pass, passLength) == 1;
        if (!verified && secret.isEmpty()) {
            pass = nullptr;
            passLength = 0;
            verified = PKCS12_verify_mac(p12.get(), nullptr, 0) == 1;
        }
        if (!verified) {
            secret.fill('\0');
            ERR_clear_error();
            return Status::WrongPassword;
        }
    }

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = PKCS12_parse(p12.get(), pass, &key, &certificate, &chain) == 1;
    secret.fill('\0');
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
    ERR_clear_error();
    if (!parsed) {
        X509_free(certificate);
        return Status::Unsupported;
    }
    if (!certificate)
        return Status::NoCertificate;
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    X509_free(certificate);
    if (length <= 0)
        return Status::NoCertificate;
    *certificateDer = QByteArray(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return Status::Ok;
}

namespace {

using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;

// No certificate when the DER does not decode (nothing is read from it then: the fields stay
// empty).
X509Ptr parse(const QByteArray& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &bytes, der.size()), &X509_free);
}

QString objectId(const ASN1_OBJECT* object) {
    char buffer[128];
    const int length = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    if (length <= 0 || length >= static_cast<int>(sizeof buffer))
        return {};
    return QString::fromLatin1(buffer, length);
}

// ICP-Brasil writes these values as OCTET STRING; some authorities use a character string type.
QString stringValue(const ASN1_TYPE* value) {
    if (!value)
        return {};
    switch (value->type) {
    case V_ASN1_OCTET_STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_UTF8STRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_VISIBLESTRING:
    case V_ASN1_T61STRING: {
        const ASN1_STRING* text = value->value.asn1_string;
        return QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                                   ASN1_STRING_length(text));
    }
    default:
        return {};
    }
}

// The last entry of `nid` in the name, as UTF-8 text; empty when there is none.
QString lastEntry(const X509_NAME* name, int nid) {
    int last = -1;
    for (int at = X509_NAME_get_index_by_NID(name, nid, -1); at >= 0;
         at = X509_NAME_get_index_by_NID(name, nid, at))
        last = at;
    if (last < 0)
        return {};
    unsigned char* text = nullptr;
    const int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, last)));
    if (length < 0)
        return {};
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(text), length);
    OPENSSL_free(text);
    return value;
}

QDateTime utcTime(const ASN1_TIME* time) {
    tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

// The ICP-Brasil otherName entries of the subjectAltName.
IcpBrasilFields icpBrasilOf(X509* certificate) {
    IcpBrasilFields fields;
    auto* names =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    if (!names)
        return fields;
    for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
        const auto* name = sk_GENERAL_NAME_value(names, i);
        if (name->type != GEN_OTHERNAME)
            continue;
        const QString oid = objectId(name->d.otherName->type_id);
        const QString value = stringValue(name->d.otherName->value);
        if (oid == u"2.16.76.1.3.3")
            fields.cnpj = value;
        else if (oid == u"2.16.76.1.3.1")
            fields.holderData = value;
        else if (oid == u"2.16.76.1.3.4")
            fields.responsibleData = value;
    }
    GENERAL_NAMES_free(names);
    return fields;
}

} // namespace

std::optional<CertificateFields> openSslCertificateFields(const QByteArray& der) {
    const X509Ptr certificate = parse(der);
    if (!certificate)
        return std::nullopt;
    CertificateFields fields;
    fields.subjectName = lastEntry(X509_get_subject_name(certificate.get()), NID_commonName);
    fields.issuerName = lastEntry(X509_get_issuer_name(certificate.get()), NID_commonName);
    if (fields.issuerName.isEmpty())
        fields.issuerName = lastEntry(X509_get_issuer_name(certificate.get()), NID_organizationName);
    fields.validFrom = utcTime(X509_get0_notBefore(certificate.get()));
    fields.validTo = utcTime(X509_get0_notAfter(certificate.get()));
    if (const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate.get())) {
        const QByteArray bytes(reinterpret_cast<const char*>(ASN1_STRING_get0_data(serial)),
                               ASN1_STRING_length(serial));
        fields.serialNumber = QString::fromLatin1(bytes.toHex(':'));
    }
    if (auto* constraints = static_cast<BASIC_CONSTRAINTS*>(
            X509_get_ext_d2i(certificate.get(), NID_basic_constraints, nullptr, nullptr))) {
        fields.authority = constraints->ca != 0;
        BASIC_CONSTRAINTS_free(constraints);
    }
    fields.icpBrasil = icpBrasilOf(certificate.get());
    return fields;
}

QList<QByteArray> openSslPemCertificates(const QByteArray& pem) {
    QList<QByteArray> found;
    if (pem.size() > INT_MAX)
        return found;
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())),
                                                        &BIO_free);
    // An encrypted block gets no password: OpenSSL's default would ask for one on the terminal.
    const auto noPassword = [](char*, int, int, void*) {
        return -1;
    };
    while (bio) {
        const size_t left = BIO_ctrl_pending(bio.get());
        const X509Ptr certificate(PEM_read_bio_X509(bio.get(), nullptr, noPassword, nullptr), &X509_free);
        if (certificate) {
            unsigned char* der = nullptr;
            const int length = i2d_X509(certificate.get(), &der);
            if (length > 0)
                found.append(QByteArray(reinterpret_cast<const char*>(der), length));
            OPENSSL_free(der);
            continue;
        }
        const int reason = ERR_GET_REASON(ERR_peek_last_error());
        ERR_clear_error();
        // A block that does not decode is passed over; the end of the blocks ends the reading.
        if (reason == PEM_R_NO_START_LINE || BIO_ctrl_pending(bio.get()) == left)
            break;
    }
    return found;
}

CdpLookup openSslCrlDistributionPoints(const QByteArray& der) {
    CdpLookup lookup;
    const X509Ptr certificate = parse(der);
    if (!certificate)
        return lookup;
    int critical = -1;
    auto* points = static_cast<CRL_DIST_POINTS*>(
        X509_get_ext_d2i(certificate.get(), NID_crl_distribution_points, &critical, nullptr));
    if (!points) {
        // -1: no such extension; -2: it occurs twice; 0 or 1: it is there but does not decode.
        if (critical != -1) {
            lookup.present = true;
            lookup.error = CertificateExtensions::kBadTag;
        }
        return lookup;
    }
    lookup.present = true;
    for (int i = 0; i < sk_DIST_POINT_num(points); ++i) {
        const auto* point = sk_DIST_POINT_value(points, i);
        if (!point->distpoint || point->distpoint->type != 0)
            continue; // a name relative to the issuer carries no address
        const GENERAL_NAMES* full = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(full); ++j) {
            const auto* name = sk_GENERAL_NAME_value(full, j);
            if (name->type != GEN_URI)
                continue;
            const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
            lookup.urls.append(QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                                                   ASN1_STRING_length(uri)));
        }
    }
    CRL_DIST_POINTS_free(points);
    if (lookup.urls.isEmpty())
        lookup.error = CertificateExtensions::kNotFound;
    return lookup;
}

} // namespace fiscora

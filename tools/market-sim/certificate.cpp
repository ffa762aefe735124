#include "certificate.h"

#include <QCryptographicHash>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

namespace marketsim {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using BigNum = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

QString opensslError(const char* step) {
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return u"証明書を作れません (%1): %2"_s.arg(QString::fromLatin1(step), QString::fromLatin1(text));
}

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

} // namespace

std::optional<ServerIdentity> makeServerIdentity(QString* error) {
    PKey key(EVP_EC_gen("P-256"));
    if (!key) {
        *error = opensslError("key");
        return std::nullopt;
    }
    Cert cert(X509_new());
    std::array<unsigned char, 16> serial{};
    if (!cert || RAND_bytes(serial.data(), int(serial.size())) != 1) {
        *error = opensslError("serial");
        return std::nullopt;
    }
    serial[0] &= 0x7f; // a positive serial number
    BigNum serialNumber(BN_bin2bn(serial.data(), int(serial.size()), nullptr));
    X509_NAME* name = X509_get_subject_name(cert.get());
    const auto nameText = [](const char* text) { return reinterpret_cast<const unsigned char*>(text); };
    const bool built = X509_set_version(cert.get(), 2) == 1 && serialNumber &&
                       BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(cert.get())) &&
                       X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) &&
                       X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600) &&
                       X509_set_pubkey(cert.get(), key.get()) == 1 &&
                       X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, nameText("Zandorp marketplace simulator"),
                                                  -1, -1, 0) == 1 &&
                       X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, nameText("127.0.0.1"), -1, -1, 0) == 1 &&
                       X509_set_issuer_name(cert.get(), name) == 1 &&
                       addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
                       addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
                       addExtension(cert.get(), NID_key_usage, "critical,digitalSignature") &&
                       addExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
                       X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    if (!built) {
        *error = opensslError("certificate");
        return std::nullopt;
    }

    ServerIdentity identity;
    const int certLength = i2d_X509(cert.get(), nullptr);
    QByteArray der(certLength, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(cert.get(), &out);
    identity.certificate = QSslCertificate(der, QSsl::Der);

    Bio pem(BIO_new(BIO_s_mem()));
    if (!pem || PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        *error = opensslError("private key");
        return std::nullopt;
    }
    char* pemData = nullptr;
    const long pemLength = BIO_get_mem_data(pem.get(), &pemData);
    identity.privateKey = QSslKey(QByteArray(pemData, pemLength), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);

    const int spkiLength = i2d_PUBKEY(key.get(), nullptr);
    QByteArray spki(spkiLength, Qt::Uninitialized);
    out = reinterpret_cast<unsigned char*>(spki.data());
    i2d_PUBKEY(key.get(), &out);
    identity.spkiSha256Base64 = QCryptographicHash::hash(spki, QCryptographicHash::Sha256).toBase64();

    if (identity.certificate.isNull() || identity.privateKey.isNull()) {
        *error = u"証明書を作れません: Qt が証明書または鍵を読み込めません。"_s;
        return std::nullopt;
    }
    return identity;
}

} // namespace marketsim

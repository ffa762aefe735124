#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

namespace marketsim {

struct ServerIdentity {
    QSslCertificate certificate;
    QSslKey privateKey;
    // base64 of the SHA-256 of the DER SubjectPublicKeyInfo, the form Chromium's
    // --ignore-certificate-errors-spki-list takes.
    QByteArray spkiSha256Base64;
};

// A fresh self-signed certificate for 127.0.0.1 and localhost (P-256 key, 30 days).
// Qt cannot make certificates, so this uses OpenSSL's libcrypto.
std::optional<ServerIdentity> makeServerIdentity(QString* error);

} // namespace marketsim

#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace velkoria::test {

// Real mail and web servers on 127.0.0.1 (tests/support/notifyservers.py, run
// by Debian's Python with aiosmtpd): SMTP with STARTTLS and AUTH, SMTP over
// TLS, plain SMTP, HTTPS and HTTP that record what they get, and a port that
// never answers. The certificate is self-signed, made at the start: tests
// trust it through caFile.
class NotifyServers {
public:
    static constexpr const char* kUser = "velkoria";
    static constexpr const char* kPassword = "secret-pass-123";

    ~NotifyServers();
    // False when the servers did not come up in time.
    bool start();
    QString url(const QString& scheme, int port, const QString& path = {}) const;
    // The messages and POSTs received so far, in order.
    QList<QJsonObject> mails() const { return records(QStringLiteral("mail-")); }
    QList<QJsonObject> posts() const { return records(QStringLiteral("post-")); }

    int smtp = 0;  // STARTTLS demanded, AUTH after it
    int smtps = 0; // TLS from the first byte, AUTH
    int plain = 0; // no TLS, no AUTH
    int https = 0;
    int http = 0;
    int dead = 0; // takes connections, never answers
    QString caFile;

private:
    QList<QJsonObject> records(const QString& prefix) const;

    QProcess m_process;
    QTemporaryDir m_dir;
};

} // namespace velkoria::test

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>

namespace velkoria {

// Mail and web requests through libcurl, each in one blocking call with a time
// limit: they run on a worker thread, never on the window's. Certificates are
// always verified (by the system's store, or by caFile where one is given).
// No password, token, user or path or query of a URL ever reaches a result.

// How one send ended.
enum class SendStatus {
    Sent,
    LoginDenied,          // the server refused the user or password
    UnknownHost,          // the server's name does not resolve
    CertificateUntrusted, // the server's certificate cannot be trusted
    TimedOut,             // no complete answer within the time limit
    ConnectFailed,        // the connection was refused (or the host unreachable)
    NoStartTls,           // STARTTLS was demanded and the server does not offer it
    TlsFailed,            // the encrypted connection could not be set up
    ServerRefused,        // the server answered with a refusal (serverCode)
    Cancelled,            // given up on request (the program ending)
    Failed,               // anything else (detail)
};

struct SendResult {
    SendStatus status = SendStatus::Failed;
    QString host;       // the server's host name, nothing more of its address
    int serverCode = 0; // the SMTP reply or HTTP status of a refusal
    QString detail;     // curl's words for Failed, without any secret
    bool ok() const { return status == SendStatus::Sent; }
};

// What happened, in Japanese, naming the host.
QString sendResultText(const SendResult& result);

constexpr std::chrono::milliseconds kSendTimeLimit{10000};

struct MailServer {
    QString url;          // smtp://host[:port] (STARTTLS) or smtps://host[:port] (TLS from the start)
    bool startTls = true; // smtp:// only: demand STARTTLS; false sends in plain text
    QString user;         // empty: no AUTH
    QString password;
    QString caFile; // certificates to trust instead of the system's; empty: the system's
};

// Sends message (composeMail) from one address to every address of to (bare
// addresses). cancel, when given and set by another thread, ends the send
// within about a second.
SendResult sendMail(const MailServer& server, const QString& from, const QStringList& to, const QByteArray& message,
                    const std::atomic_bool* cancel = nullptr, std::chrono::milliseconds limit = kSendTimeLimit);

struct HttpPost {
    QString url; // http:// or https://
    QByteArray body;
    QByteArray contentType;
    QString headerName; // one more header, or none when empty
    QString headerValue;
    QString caFile;
};

// POSTs the body; a 2xx answer is Sent, any other status ServerRefused.
SendResult postHttp(const HttpPost& post, const std::atomic_bool* cancel = nullptr,
                    std::chrono::milliseconds limit = kSendTimeLimit);

} // namespace velkoria

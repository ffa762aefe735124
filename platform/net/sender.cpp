#include "platform/net/sender.h"

#include <QUrl>

#include <cstring>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <utility>

namespace velkoria {

namespace {

void initCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Upload {
    const QByteArray& data;
    qsizetype pos = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userdata) {
    auto* upload = static_cast<Upload*>(userdata);
    const qsizetype n = std::min<qsizetype>(qsizetype(size * count), upload->data.size() - upload->pos);
    std::memcpy(buffer, upload->data.constData() + upload->pos, size_t(n));
    upload->pos += n;
    return size_t(n);
}

size_t discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

int checkCancel(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic_bool*>(clientp);
    return cancel && cancel->load() ? 1 : 0;
}

// One transfer's handle with what it holds on to.
class Transfer {
public:
    Transfer() : m_curl(curl_easy_init()) {}
    ~Transfer() {
        curl_slist_free_all(m_list);
        curl_easy_cleanup(m_curl);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    CURL* handle() const { return m_curl; }
    char* errors() { return m_errors; }
    // A list option (headers, recipients) that lives as long as the transfer.
    curl_slist* list(const QList<QByteArray>& items) {
        for (const QByteArray& item : items)
            m_list = curl_slist_append(m_list, item.constData());
        return m_list;
    }

    // What every transfer shares: the time limit, cancelling, no signals (a
    // worker thread), curl's words kept, the answer's body dropped.
    void setCommon(const QByteArray& url, const char* protocols, const QString& caFile, const std::atomic_bool* cancel,
                   std::chrono::milliseconds limit) {
        m_url = url;
        m_caFile = caFile.toUtf8();
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.constData());
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, protocols);
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, long(limit.count()));
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, long(limit.count()));
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errors);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, discard);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, checkCancel);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(cancel));
        if (!m_caFile.isEmpty())
            curl_easy_setopt(m_curl, CURLOPT_CAINFO, m_caFile.constData());
#if defined(_WIN32)
        // Schannel checks whether a certificate was revoked and fails when the
        // authority's revocation server cannot be reached (a company proxy);
        // this keeps the check and lets only an unreachable server pass.
        curl_easy_setopt(m_curl, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_REVOKE_BEST_EFFORT));
#endif
    }

private:
    CURL* m_curl;
    curl_slist* m_list = nullptr;
    QByteArray m_url;
    QByteArray m_caFile;
    char m_errors[CURL_ERROR_SIZE] = {};
};

// curl's words without any of the secrets (or the URL that may hold one).
QString withoutSecrets(QString text, const QStringList& secrets) {
    for (const QString& secret : secrets)
        if (secret.size() >= 2)
            text.replace(secret, QStringLiteral("***"));
    return text;
}

// The parts of a URL that may carry a token (a webhook's path, a query).
QStringList secretsOf(const QUrl& url) {
    QStringList secrets{url.toString(), url.toString(QUrl::FullyEncoded), url.path(),
                        url.query(),    url.path(QUrl::FullyEncoded),     url.query(QUrl::FullyEncoded),
                        url.password()};
    secrets.removeAll(QStringLiteral("/"));
    return secrets;
}

SendResult resultOf(CURLcode code, Transfer& transfer, const QString& host, const QStringList& secrets) {
    SendResult result;
    result.host = host;
    long response = 0;
    curl_easy_getinfo(transfer.handle(), CURLINFO_RESPONSE_CODE, &response);
    // What libcurl's result says in the user's terms; the rest by the reply.
    static constexpr std::pair<CURLcode, SendStatus> kStatuses[] = {
        {CURLE_OK, SendStatus::Sent},
        {CURLE_LOGIN_DENIED, SendStatus::LoginDenied},
        {CURLE_COULDNT_RESOLVE_HOST, SendStatus::UnknownHost},
        {CURLE_PEER_FAILED_VERIFICATION, SendStatus::CertificateUntrusted},
        {CURLE_OPERATION_TIMEDOUT, SendStatus::TimedOut},
        {CURLE_COULDNT_CONNECT, SendStatus::ConnectFailed},
        {CURLE_USE_SSL_FAILED, SendStatus::NoStartTls},
        {CURLE_SSL_CONNECT_ERROR, SendStatus::TlsFailed},
        {CURLE_ABORTED_BY_CALLBACK, SendStatus::Cancelled},
    };
    for (const auto& [curlCode, status] : kStatuses) {
        if (code == curlCode) {
            result.status = status;
            return result;
        }
    }
    // A command the server refused (MAIL, RCPT, DATA) ends the transfer with
    // its reply as the last response.
    if (response >= 400) {
        result.status = SendStatus::ServerRefused;
        result.serverCode = int(response);
        return result;
    }
    const char* words = transfer.errors()[0] ? transfer.errors() : curl_easy_strerror(code);
    result.detail = withoutSecrets(QString::fromUtf8(words), secrets);
    return result;
}

} // namespace

SendResult sendMail(const MailServer& server, const QString& from, const QStringList& to, const QByteArray& message,
                    const std::atomic_bool* cancel, std::chrono::milliseconds limit) {
    initCurl();
    const QUrl url(server.url);
    Transfer transfer;
    CURL* curl = transfer.handle();
    transfer.setCommon(server.url.toUtf8(), "smtp,smtps", server.caFile, cancel, limit);
    const bool implicitTls = url.scheme().compare(u"smtps", Qt::CaseInsensitive) == 0;
    curl_easy_setopt(curl, CURLOPT_USE_SSL, long(implicitTls || server.startTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
    const QByteArray user = server.user.toUtf8();
    const QByteArray password = server.password.toUtf8();
    if (!server.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    const QByteArray sender = '<' + from.toLatin1() + '>';
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.constData());
    QList<QByteArray> recipients;
    for (const QString& address : to)
        recipients.append('<' + address.toLatin1() + '>');
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, transfer.list(recipients));
    Upload upload{message};
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    const CURLcode code = curl_easy_perform(curl);
    return resultOf(code, transfer, url.host(), secretsOf(url) << server.password << server.user);
}

SendResult postHttp(const HttpPost& post, const std::atomic_bool* cancel, std::chrono::milliseconds limit) {
    initCurl();
    const QUrl url(post.url);
    Transfer transfer;
    CURL* curl = transfer.handle();
    transfer.setCommon(url.toString(QUrl::FullyEncoded).toUtf8(), "http,https", post.caFile, cancel, limit);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post.body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(post.body.size()));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Velkoria/1.0");
    // "Expect: 100-continue" would hold a larger body back for a second.
    QList<QByteArray> headers{"Content-Type: " + post.contentType, "Expect:"};
    if (!post.headerName.isEmpty())
        headers.append(post.headerName.toUtf8() + ": " + post.headerValue.toUtf8());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, transfer.list(headers));
    const CURLcode code = curl_easy_perform(curl);
    SendResult result = resultOf(code, transfer, url.host(), secretsOf(url) << post.headerValue);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (result.ok() && (status < 200 || status > 299)) {
        result.status = SendStatus::ServerRefused;
        result.serverCode = int(status);
    }
    return result;
}

QString sendResultText(const SendResult& result) {
    const QString& host = result.host;
    switch (result.status) {
    case SendStatus::Sent:
        return QStringLiteral("送信しました。");
    case SendStatus::LoginDenied:
        return QStringLiteral("%1 にログインできませんでした。ユーザー名かパスワードが違います。").arg(host);
    case SendStatus::UnknownHost:
        return QStringLiteral("サーバー %1 が見つかりません。サーバー名と、インターネットにつながっているかを"
                              "確かめてください。")
            .arg(host);
    case SendStatus::CertificateUntrusted:
        return QStringLiteral("%1 の証明書を信頼できないため、送りませんでした。サーバー名が正しいかを"
                              "確かめてください。")
            .arg(host);
    case SendStatus::TimedOut:
        return QStringLiteral("%1 が %2 秒以内に応答しませんでした。")
            .arg(host)
            .arg(std::chrono::duration_cast<std::chrono::seconds>(kSendTimeLimit).count());
    case SendStatus::ConnectFailed:
        return QStringLiteral("%1 に接続できませんでした。サーバー名とポート番号を確かめてください。").arg(host);
    case SendStatus::NoStartTls:
        return QStringLiteral("%1 は暗号化 (STARTTLS) に対応していないため、送りませんでした。").arg(host);
    case SendStatus::TlsFailed:
        return QStringLiteral("%1 と暗号化した接続ができませんでした。smtps:// と smtp:// の別とポート番号を"
                              "確かめてください。")
            .arg(host);
    case SendStatus::ServerRefused: {
        QString why;
        if (result.serverCode == 401 || result.serverCode == 403)
            why = QStringLiteral("トークンか URL が正しくないようです");
        else if (result.serverCode == 404)
            why = QStringLiteral("URL が正しくないようです");
        else if (result.serverCode == 530 || result.serverCode == 535)
            why = QStringLiteral("ログインが必要です。ユーザー名とパスワードを確かめてください");
        else if (result.serverCode == 550 || result.serverCode == 553 || result.serverCode == 501)
            why = QStringLiteral("差出人か宛先のアドレスが受け付けられませんでした");
        return why.isEmpty()
                   ? QStringLiteral("%1 が受け付けませんでした (応答コード %2)。").arg(host).arg(result.serverCode)
                   : QStringLiteral("%1 が受け付けませんでした (応答コード %2): %3。")
                         .arg(host)
                         .arg(result.serverCode)
                         .arg(why);
    }
    case SendStatus::Cancelled:
        return QStringLiteral("送信を取りやめました。");
    case SendStatus::Failed:
        break;
    }
    return QStringLiteral("%1 に送れませんでした: %2").arg(host, result.detail);
}

} // namespace velkoria

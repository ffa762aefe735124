#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace velkoria {

// A mail address with its display name (may be empty). The address is plain
// ASCII, local-part@domain, with nothing in it that could end a header or an
// SMTP command.
struct MailAddress {
    QString name;
    QString address;
};

// "a@example.jp", "山田 <a@example.jp>" or "\"Yamada, Taro\" <a@example.jp>";
// nothing when it is not one address.
std::optional<MailAddress> parseMailAddress(QStringView text);
// Addresses separated by commas (also "，" and "、") or, without display
// names, by blanks. Nothing when the list is empty or one of them is not an
// address; bad then holds that one.
std::optional<QList<MailAddress>> parseMailAddresses(QStringView text, QString* bad = nullptr);

struct MailText {
    MailAddress from;
    QList<MailAddress> to;
    QString subject;
    QString body; // lines separated by "\n"
};

// The message as it goes to the server: From, To, Subject (RFC 2047 where it
// is not plain ASCII), Date, Message-ID (uniqueId at the sender's domain), a
// UTF-8 plain-text body in base64, every line ended by CR LF.
QByteArray composeMail(const MailText& mail, const QDateTime& date, const QByteArray& uniqueId);
// The same with the current time and a random ID.
QByteArray composeMail(const MailText& mail);

} // namespace velkoria

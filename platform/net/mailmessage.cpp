#include "platform/net/mailmessage.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace velkoria {

namespace {

bool isAddress(QStringView text) {
    // The characters RFC 5322 allows in an unquoted local part (dot-atom), and
    // a host name or an address literal: nothing that ends a header or a command.
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~.-]+@([A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*|\\[[0-9A-Fa-f:.]+\\])$"));
    return text.size() <= 254 && pattern.match(text.toString()).hasMatch();
}

bool isPrintableAscii(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

// RFC 2047 encoded words (UTF-8, base64), none longer than 75 characters and
// none splitting a character, separated by folding white space.
QByteArray encodedWords(const QString& text) {
    QByteArray out;
    QByteArray chunk;
    const auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.sliced(i, units).toUtf8();
        i += units - 1;
        // 45 bytes make 60 characters of base64: 72 with the word's frame.
        if (chunk.size() + bytes.size() > 45)
            flush();
        chunk += bytes;
    }
    flush();
    return out;
}

// A header value of free text: as it is when it is short plain ASCII, else
// encoded words.
QByteArray headerText(const QString& text) {
    if (isPrintableAscii(text) && text.size() <= 70 && !text.contains(QStringLiteral("=?")))
        return text.toLatin1();
    return encodedWords(text);
}

QByteArray formatAddress(const MailAddress& address) {
    const QByteArray addr = address.address.toLatin1();
    if (address.name.isEmpty())
        return addr;
    QByteArray name;
    if (isPrintableAscii(address.name) && !address.name.contains(QStringLiteral("=?"))) {
        name = address.name.toLatin1();
        name.replace('\\', "\\\\").replace('"', "\\\"");
        name = '"' + name + '"';
    } else {
        name = encodedWords(address.name);
    }
    return name + " <" + addr + '>';
}

QString domainOf(const QString& address) {
    return address.section(u'@', -1);
}

} // namespace

std::optional<MailAddress> parseMailAddress(QStringView text) {
    text = text.trimmed();
    if (text.endsWith(u'>')) {
        const qsizetype open = text.lastIndexOf(u'<');
        if (open < 0)
            return std::nullopt;
        QStringView name = text.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.sliced(1, name.size() - 2);
        const QStringView address = text.sliced(open + 1, text.size() - open - 2).trimmed();
        for (const QChar c : name)
            if (c.category() == QChar::Other_Control || c == u'<' || c == u'>' || c == u'"')
                return std::nullopt;
        if (!isAddress(address))
            return std::nullopt;
        return MailAddress{name.toString(), address.toString()};
    }
    if (!isAddress(text))
        return std::nullopt;
    return MailAddress{QString(), text.toString()};
}

std::optional<QList<MailAddress>> parseMailAddresses(QStringView text, QString* bad) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    // The parts between commas outside double quotes (a display name may hold one).
    QStringList parts(1);
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        if (!quoted && (c == u',' || c == u'，' || c == u'、'))
            parts.append(QString());
        else
            parts.last() += c;
    }
    QList<MailAddress> addresses;
    for (const QString& part : parts) {
        const QStringList items = part.contains(u'<') ? QStringList{part} : part.split(blanks, Qt::SkipEmptyParts);
        for (const QString& item : items) {
            if (item.trimmed().isEmpty())
                continue;
            const auto address = parseMailAddress(item);
            if (!address) {
                if (bad)
                    *bad = item.trimmed();
                return std::nullopt;
            }
            addresses.append(*address);
        }
    }
    if (addresses.isEmpty()) {
        if (bad)
            bad->clear();
        return std::nullopt;
    }
    return addresses;
}

QByteArray composeMail(const MailText& mail, const QDateTime& date, const QByteArray& uniqueId) {
    QByteArray to;
    for (const MailAddress& address : mail.to)
        to += (to.isEmpty() ? "" : ",\r\n ") + formatAddress(address);
    QByteArray body = mail.body.toUtf8();
    body.replace("\r\n", "\n").replace('\n', "\r\n");
    const QByteArray base64 = body.toBase64();
    QByteArray message = "From: " + formatAddress(mail.from) + "\r\n" + "To: " + to + "\r\n" +
                         "Subject: " + headerText(mail.subject) + "\r\n" +
                         "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n" + "Message-ID: <" + uniqueId +
                         '@' + domainOf(mail.from.address).toLatin1() + ">\r\n" +
                         "MIME-Version: 1.0\r\n"
                         "Content-Type: text/plain; charset=UTF-8\r\n"
                         "Content-Transfer-Encoding: base64\r\n"
                         "\r\n";
    for (qsizetype i = 0; i < base64.size(); i += 76)
        message += base64.mid(i, 76) + "\r\n";
    return message;
}

QByteArray composeMail(const MailText& mail) {
    QByteArray id = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLatin1() + '.';
    for (int i = 0; i < 4; ++i)
        id += QByteArray::number(QRandomGenerator::global()->generate(), 16);
    return composeMail(mail, QDateTime::currentDateTime(), "velkoria." + id);
}

} // namespace velkoria

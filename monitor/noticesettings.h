#pragma once

#include <QString>

namespace velkoria {

// Where announcements go besides the PC: the [mail], [webhook] and [filter]
// sections of velkoria.ini, read as they are written (not as QSettings reads
// them: a template holds double quotes and commas, a list commas).
struct NotifySettings {
    QString mailServer;       // [mail] server: smtp://host[:port] or smtps://host[:port]; empty: no mail
    bool mailStartTls = true; // [mail] starttls: demand STARTTLS on smtp://
    QString mailUser;         // [mail] user; empty: no login
    QString mailFrom;         // [mail] from: one address
    QString mailTo;           // [mail] to: one or more addresses, as written
    QString mailCaFile;       // [mail] ca_file: certificates to trust instead of the system's
    QString webhookUrl;       // [webhook] url: http(s)://...; empty: no webhook
    QString webhookBody;      // [webhook] body: the template; empty: {"text": "{text}"}
    QString webhookHeader;    // [webhook] header: a header's name ("Name: value" when written by hand)
    QString webhookCaFile;    // [webhook] ca_file
    QString filterInclude;    // [filter] include: words separated by blanks or commas
    QString filterExclude;    // [filter] exclude

    bool mailConfigured() const { return !mailServer.isEmpty(); }
    bool webhookConfigured() const { return !webhookUrl.isEmpty(); }
    // The extra header's name and the value written with it in the file (if any).
    QString webhookHeaderName() const { return webhookHeader.section(u':', 0, 0).trimmed(); }
    QString webhookHeaderValueInFile() const {
        return webhookHeader.contains(u':') ? webhookHeader.section(u':', 1).trimmed() : QString();
    }
    bool operator==(const NotifySettings&) const = default;
};

// The secrets of the announcements, kept apart from the settings.
struct NotifySecrets {
    QString mailPassword;
    QString webhookHeaderValue;
    bool operator==(const NotifySecrets&) const = default;
};

} // namespace velkoria

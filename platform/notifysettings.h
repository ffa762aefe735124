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
    QString webhookHeaderName() const;
    QString webhookHeaderValueInFile() const;
    bool operator==(const NotifySettings&) const = default;
};

// Reads the three sections of the settings file; a missing file or key takes
// the default. A bad value throws RuntimeError naming the file and the key.
NotifySettings loadNotifySettings(const QString& path);

// The values as the file holds them, unchecked (a starttls that is neither
// true nor false taken as true): what a dialog shows of a file with a bad value.
NotifySettings readNotifySettings(const QString& path);

// Checks the values as loadNotifySettings does (path names the file in the
// message): throws RuntimeError naming the key of a bad value.
void checkNotifySettings(const QString& path, const NotifySettings& settings);

// Writes the three sections into the settings file, every other line of it
// kept as it was (comments included), atomically. Throws RuntimeError naming
// the file and the key for a value the file cannot hold, or the file and the
// cause for a failed write.
void saveNotifySettings(const QString& path, const NotifySettings& settings);

// The secrets of the announcements, in "notify_secrets.txt" of the program
// folder (readable by its owner only): "key=value" lines, code page 932.
//   mail_password=...     the mail server's password
//   webhook_header=...    the value of the webhook's extra header (a token)
struct NotifySecrets {
    QString mailPassword;
    QString webhookHeaderValue;
    bool operator==(const NotifySecrets&) const = default;
};

inline QString notifySecretsFileName() {
    return QStringLiteral("notify_secrets.txt");
}

// A missing file gives empty secrets; a line that is not key=value throws
// RuntimeError naming the file and the line (never its content).
NotifySecrets loadNotifySecrets();
// Rewrites the file whole, atomically, readable by its owner only.
void saveNotifySecrets(const NotifySecrets& secrets);

} // namespace velkoria

#pragma once

#include "monitor/noticesettings.h"

#include <QString>

namespace velkoria {

// Said after the error of a bad setting at start-up: the program goes on without them.
inline QString remoteSettingsBrokenNotice() {
    return QStringLiteral("メールと Webhook には、通知の設定で直すまで送りません。");
}

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

// The secrets live in "notify_secrets.txt" of the program folder (readable
// by its owner only): "key=value" lines, code page 932.
//   mail_password=...     the mail server's password
//   webhook_header=...    the value of the webhook's extra header (a token)
inline QString notifySecretsFileName() {
    return QStringLiteral("notify_secrets.txt");
}

// A missing file gives empty secrets; a line that is not key=value throws
// RuntimeError naming the file and the line (never its content).
NotifySecrets loadNotifySecrets();
// Rewrites the file whole, atomically, readable by its owner only.
void saveNotifySecrets(const NotifySecrets& secrets);

} // namespace velkoria

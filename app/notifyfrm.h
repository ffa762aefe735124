#pragma once

#include "app/notifysettings.h"
#include "platform/net/sender.h"

#include <QDialog>
#include <atomic>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;

namespace velkoria {

// The dialog 通知の設定…: the mail server, the webhook and the filter words
// of the announcements away from the PC. It reads and writes the [mail],
// [webhook] and [filter] sections of velkoria.ini (every other line of the
// file kept) and the password and token in notify_secrets.txt. 送信テスト
// sends a test message through each channel filled in, beside the window,
// and says what happened; 保存 saves and closes.
//
// Controls (object names): mail_server, mail_starttls, mail_user,
// mail_password, mail_from, mail_to, webhook_url, webhook_body,
// webhook_header, webhook_token, filter_include, filter_exclude, send_test,
// test_result, save_button, cancel_button.
class NotifyFrm : public QDialog {
    Q_OBJECT
public:
    // iniPath: velkoria.ini; the secrets come from the program folder.
    explicit NotifyFrm(const QString& iniPath, QWidget* parent = nullptr);
    // A test on its way is given up (within about a second).
    ~NotifyFrm() override;

    // Fills the controls from the files; a file that cannot be read is said in test_result.
    void load();
    // What the controls hold.
    NotifySettings settings() const;
    NotifySecrets secrets() const;

signals:
    // The files have been saved with these values (for the announcements to take them).
    void saved(const velkoria::NotifySettings& settings, const velkoria::NotifySecrets& secrets);

private:
    void sendTest();
    void testDone(const QString& text);
    void save();

    QString m_iniPath;
    // The keys that only the file sets (certificates to trust), kept as read.
    NotifySettings m_loaded;
    QLineEdit* m_mailServer;
    QCheckBox* m_startTls;
    QLineEdit* m_mailUser;
    QLineEdit* m_mailPassword;
    QLineEdit* m_mailFrom;
    QLineEdit* m_mailTo;
    QLineEdit* m_webhookUrl;
    QLineEdit* m_webhookBody;
    QLineEdit* m_webhookHeader;
    QLineEdit* m_webhookToken;
    QLineEdit* m_include;
    QLineEdit* m_exclude;
    QPushButton* m_sendTest;
    QLabel* m_result;
    QThread* m_test = nullptr;
    std::atomic_bool m_cancel{false};
};

} // namespace velkoria

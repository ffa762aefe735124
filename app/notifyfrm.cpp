#include "app/notifyfrm.h"

#include "monitor/remotenotices.h"
#include "platform/errors.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace velkoria {

namespace {

QLineEdit* lineEdit(QWidget* parent, const char* name, const QString& placeholder = {}, bool secret = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(placeholder);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

NotifyFrm::NotifyFrm(const QString& iniPath, QWidget* parent) : QDialog(parent), m_iniPath(iniPath) {
    setObjectName(QStringLiteral("notifyfrm"));
    setWindowTitle(QStringLiteral("通知の設定"));
    setMinimumWidth(560); // a webhook's URL and a template fit without scrolling

    auto* mail = new QGroupBox(QStringLiteral("メール"), this);
    auto* mailForm = new QFormLayout(mail);
    m_mailServer = lineEdit(mail, "mail_server", QStringLiteral("smtp://smtp.gmail.com:587"));
    m_startTls = new QCheckBox(QStringLiteral("暗号化 (STARTTLS) を必ず使う"), mail);
    m_startTls->setObjectName(QStringLiteral("mail_starttls"));
    m_mailUser = lineEdit(mail, "mail_user");
    m_mailPassword = lineEdit(mail, "mail_password", {}, true);
    m_mailFrom = lineEdit(mail, "mail_from", QStringLiteral("velkoria@example.jp"));
    m_mailTo = lineEdit(mail, "mail_to", QStringLiteral("a@example.jp, b@example.jp"));
    mailForm->addRow(QStringLiteral("送信サーバー"), m_mailServer);
    mailForm->addRow(QString(), m_startTls);
    mailForm->addRow(QStringLiteral("ユーザー名"), m_mailUser);
    mailForm->addRow(QStringLiteral("パスワード"), m_mailPassword);
    mailForm->addRow(QStringLiteral("差出人"), m_mailFrom);
    mailForm->addRow(QStringLiteral("宛先 (カンマ区切り)"), m_mailTo);

    auto* webhook = new QGroupBox(QStringLiteral("Webhook (チャット・スマートフォン)"), this);
    auto* webhookForm = new QFormLayout(webhook);
    m_webhookUrl = lineEdit(webhook, "webhook_url", QStringLiteral("https://hooks.slack.com/services/…"));
    m_webhookBody = lineEdit(webhook, "webhook_body", QStringLiteral("空欄: {\"text\": \"{text}\"}"));
    m_webhookHeader = lineEdit(webhook, "webhook_header", QStringLiteral("例: Authorization"));
    m_webhookToken = lineEdit(webhook, "webhook_token", QStringLiteral("例: Bearer …"), true);
    webhookForm->addRow(QStringLiteral("URL"), m_webhookUrl);
    webhookForm->addRow(QStringLiteral("本文の形"), m_webhookBody);
    webhookForm->addRow(QStringLiteral("ヘッダー名"), m_webhookHeader);
    webhookForm->addRow(QStringLiteral("ヘッダーの値"), m_webhookToken);

    auto* filter = new QGroupBox(QStringLiteral("絞り込み (タイトルの言葉、空白かカンマ区切り)"), this);
    auto* filterForm = new QFormLayout(filter);
    m_include = lineEdit(filter, "filter_include", QStringLiteral("空欄: すべて"));
    m_exclude = lineEdit(filter, "filter_exclude");
    filterForm->addRow(QStringLiteral("この言葉を含むものだけ"), m_include);
    filterForm->addRow(QStringLiteral("この言葉を含むものは除く"), m_exclude);

    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("test_result"));
    m_result->setWordWrap(true);
    m_result->setTextFormat(Qt::PlainText);

    auto* buttons = new QDialogButtonBox(this);
    m_sendTest = buttons->addButton(QStringLiteral("送信テスト"), QDialogButtonBox::ActionRole);
    m_sendTest->setObjectName(QStringLiteral("send_test"));
    QPushButton* saveButton = buttons->addButton(QStringLiteral("保存"), QDialogButtonBox::AcceptRole);
    saveButton->setObjectName(QStringLiteral("save_button"));
    QPushButton* cancelButton = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(QStringLiteral("cancel_button"));
    connect(m_sendTest, &QPushButton::clicked, this, &NotifyFrm::sendTest);
    connect(saveButton, &QPushButton::clicked, this, &NotifyFrm::save);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mail);
    layout->addWidget(webhook);
    layout->addWidget(filter);
    layout->addWidget(m_result);
    layout->addWidget(buttons);
    load();
}

NotifyFrm::~NotifyFrm() {
    if (!m_test)
        return;
    m_cancel = true;
    m_test->wait();
    delete m_test;
}

void NotifyFrm::load() {
    NotifySettings settings;
    NotifySecrets secrets;
    QStringList problems;
    try {
        settings = loadNotifySettings(m_iniPath);
    } catch (const RuntimeError& error) {
        // The values as written, so that a save does not lose them.
        settings = readNotifySettings(m_iniPath);
        problems.append(error.description());
    }
    try {
        secrets = loadNotifySecrets();
    } catch (const RuntimeError& error) {
        problems.append(error.description());
    }
    m_loaded = settings;
    m_mailServer->setText(settings.mailServer);
    m_startTls->setChecked(settings.mailStartTls);
    m_mailUser->setText(settings.mailUser);
    m_mailPassword->setText(secrets.mailPassword);
    m_mailFrom->setText(settings.mailFrom);
    m_mailTo->setText(settings.mailTo);
    m_webhookUrl->setText(settings.webhookUrl);
    m_webhookBody->setText(settings.webhookBody);
    m_webhookHeader->setText(settings.webhookHeaderName());
    // A value written by hand beside the name moves to the secrets file at the next save.
    m_webhookToken->setText(secrets.webhookHeaderValue.isEmpty() ? settings.webhookHeaderValueInFile()
                                                                 : secrets.webhookHeaderValue);
    m_include->setText(settings.filterInclude);
    m_exclude->setText(settings.filterExclude);
    m_result->setText(problems.join(u'\n'));
}

NotifySettings NotifyFrm::settings() const {
    NotifySettings s = m_loaded;
    s.mailServer = m_mailServer->text().trimmed();
    s.mailStartTls = m_startTls->isChecked();
    s.mailUser = m_mailUser->text().trimmed();
    s.mailFrom = m_mailFrom->text().trimmed();
    s.mailTo = m_mailTo->text().trimmed();
    s.webhookUrl = m_webhookUrl->text().trimmed();
    s.webhookBody = m_webhookBody->text().trimmed();
    s.webhookHeader = m_webhookHeader->text().trimmed();
    s.filterInclude = m_include->text().trimmed();
    s.filterExclude = m_exclude->text().trimmed();
    return s;
}

NotifySecrets NotifyFrm::secrets() const {
    // "Name: value" typed into the header's name gives the value too.
    const QString token = m_webhookToken->text();
    return {m_mailPassword->text(), token.isEmpty() ? settings().webhookHeaderValueInFile() : token};
}

void NotifyFrm::sendTest() {
    if (m_test)
        return;
    const NotifySettings s = settings();
    const NotifySecrets secret = secrets();
    try {
        checkNotifySettings(m_iniPath, s);
    } catch (const RuntimeError& error) {
        m_result->setText(error.description());
        return;
    }
    if (!s.mailConfigured() && !s.webhookConfigured()) {
        m_result->setText(QStringLiteral("メールの送信サーバーか Webhook の URL を入力してください。"));
        return;
    }
    m_sendTest->setEnabled(false);
    m_result->setText(QStringLiteral("送信しています…"));
    m_test = QThread::create([this, s, secret] {
        QStringList lines;
        if (s.mailConfigured())
            lines.append(QStringLiteral("メール: ") + sendResultText(sendTestMail(s, secret, &m_cancel)));
        if (s.webhookConfigured())
            lines.append(QStringLiteral("Webhook: ") + sendResultText(sendTestWebhook(s, secret, &m_cancel)));
        const QString text = lines.join(u'\n');
        QMetaObject::invokeMethod(
            this, [this, text] { testDone(text); }, Qt::QueuedConnection);
    });
    m_test->start();
}

void NotifyFrm::testDone(const QString& text) {
    m_test->wait();
    delete m_test;
    m_test = nullptr;
    m_sendTest->setEnabled(true);
    m_result->setText(text);
}

void NotifyFrm::save() {
    const NotifySettings s = settings();
    const NotifySecrets secret = secrets();
    NotifySettings inFile = s;
    inFile.webhookHeader = s.webhookHeaderName(); // the value goes to the secrets file only
    try {
        saveNotifySecrets(secret);
        saveNotifySettings(m_iniPath, inFile);
    } catch (const RuntimeError& error) {
        m_result->setText(error.description());
        return;
    }
    m_loaded = inFile;
    emit saved(inFile, secret);
    accept();
}

} // namespace velkoria

#include "app/notifysettings.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "platform/errors.h"
#include "platform/net/mailmessage.h"
#include "platform/net/webhookbody.h"
#include "platform/textfile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace velkoria {

namespace {

// A header's name: the characters HTTP allows in a token.
bool isHeaderName(const QString& name) {
    static const QRegularExpression token(QStringLiteral("^[A-Za-z0-9!#$%&'*+.^_`|~-]+$"));
    return token.match(name).hasMatch();
}

bool hasControl(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

// A server's URL: the scheme, a host and at most a port. A user or password
// in it would sit in the settings file in plain text.
void checkServerUrl(const QString& path, const QString& key, const QString& value, QStringList schemes,
                    const QString& form, bool pathAllowed) {
    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || !schemes.contains(url.scheme().toLower()) || url.host().isEmpty() || url.hasFragment() ||
        (!pathAllowed && (url.hasQuery() || (!url.path().isEmpty() && url.path() != u"/"))))
        throw settingsValueError(path, key, QStringLiteral("%1 の形で指定してください").arg(form));
    if (!url.userInfo().isEmpty())
        throw settingsValueError(
            path, key, QStringLiteral("URL にユーザー名やパスワードを書かないでください (通知の設定で入力します)"));
}

void checkCaFile(const QString& path, const QString& key, const QString& value) {
    if (!value.isEmpty() && !QFileInfo(value).isFile())
        throw settingsValueError(path, key, QStringLiteral("ファイル %1 が見つかりません").arg(value));
}

struct Key {
    const char16_t* section;
    const char16_t* name;
    QString NotifySettings::*member;
};

// The keys written as text, in the order the file gets them.
const Key kTextKeys[] = {
    {u"mail", u"server", &NotifySettings::mailServer},
    {u"mail", u"user", &NotifySettings::mailUser},
    {u"mail", u"from", &NotifySettings::mailFrom},
    {u"mail", u"to", &NotifySettings::mailTo},
    {u"mail", u"ca_file", &NotifySettings::mailCaFile},
    {u"webhook", u"url", &NotifySettings::webhookUrl},
    {u"webhook", u"body", &NotifySettings::webhookBody},
    {u"webhook", u"header", &NotifySettings::webhookHeader},
    {u"webhook", u"ca_file", &NotifySettings::webhookCaFile},
    {u"filter", u"include", &NotifySettings::filterInclude},
    {u"filter", u"exclude", &NotifySettings::filterExclude},
};

} // namespace

void checkNotifySettings(const QString& path, const NotifySettings& s) {
    if (!s.mailServer.isEmpty()) {
        checkServerUrl(path, QStringLiteral("server"), s.mailServer, {QStringLiteral("smtp"), QStringLiteral("smtps")},
                       QStringLiteral("smtp://サーバー名:ポート または smtps://サーバー名:ポート"), false);
        QString bad;
        if (!parseMailAddress(s.mailFrom))
            throw settingsValueError(path, QStringLiteral("from"),
                                     QStringLiteral("差出人のメールアドレスを 1 つ指定してください"));
        if (!parseMailAddresses(s.mailTo, &bad))
            throw settingsValueError(path, QStringLiteral("to"),
                                     bad.isEmpty() ? QStringLiteral("宛先のメールアドレスを指定してください")
                                                   : QStringLiteral("%1 はメールアドレスではありません").arg(bad));
        if (hasControl(s.mailUser))
            throw settingsValueError(path, QStringLiteral("user"), QStringLiteral("使えない文字があります"));
    }
    checkCaFile(path, QStringLiteral("ca_file"), s.mailCaFile);
    if (!s.webhookUrl.isEmpty())
        checkServerUrl(path, QStringLiteral("url"), s.webhookUrl, {QStringLiteral("http"), QStringLiteral("https")},
                       QStringLiteral("https://… の URL"), true);
    if (const QString problem = webhookTemplateProblem(s.webhookBody); !problem.isEmpty())
        throw settingsValueError(path, QStringLiteral("body"), problem);
    if (!s.webhookHeader.isEmpty() &&
        (!isHeaderName(s.webhookHeaderName()) || hasControl(s.webhookHeaderValueInFile())))
        throw settingsValueError(path, QStringLiteral("header"),
                                 QStringLiteral("ヘッダーの名前 (または \"名前: 値\") を指定してください"));
    checkCaFile(path, QStringLiteral("ca_file"), s.webhookCaFile);
}

NotifySettings readNotifySettings(const QString& path) {
    NotifySettings settings;
    const QString text = readIniText(path);
    for (const Key& key : kTextKeys)
        if (const auto raw = rawIniValue(text, QStringView(key.section), QStringView(key.name)))
            settings.*key.member = iniValueAsWritten(*raw);
    if (const auto raw = rawIniValue(text, u"mail", u"starttls"))
        settings.mailStartTls = iniValueAsWritten(*raw).toLower() != u"false";
    return settings;
}

NotifySettings loadNotifySettings(const QString& path) {
    const NotifySettings settings = readNotifySettings(path);
    const QString text = readIniText(path); // the value below is a view into it
    if (const auto raw = rawIniValue(text, u"mail", u"starttls")) {
        const QString value = iniValueAsWritten(*raw).toLower();
        if (value != u"true" && value != u"false")
            throw settingsValueError(path, QStringLiteral("starttls"),
                                     QStringLiteral("true か false を指定してください"));
    }
    checkNotifySettings(path, settings);
    return settings;
}

void saveNotifySettings(const QString& path, const NotifySettings& settings) {
    checkNotifySettings(path, settings);
    bool bom = false;
    QString text = readIniText(path, &bom);
    for (const char16_t* section : {u"mail", u"webhook", u"filter"}) {
        QList<std::pair<QString, QString>> values;
        for (const Key& key : kTextKeys) {
            if (QStringView(key.section) != QStringView(section))
                continue;
            const auto written = iniWritableValue(settings.*key.member);
            if (!written)
                throw settingsValueError(path, QString::fromUtf16(key.name),
                                         QStringLiteral("改行や、引用符と ; の組み合わせは書けません"));
            values.append({QString::fromUtf16(key.name), *written});
            if (QStringView(key.name) == u"server")
                values.append({QStringLiteral("starttls"),
                               settings.mailStartTls ? QStringLiteral("true") : QStringLiteral("false")});
        }
        text = withIniValues(text, QStringView(section), values);
    }
    writeIniText(path, text, bom);
}

NotifySecrets loadNotifySecrets() {
    const QString path = programFile(notifySecretsFileName());
    NotifySecrets secrets;
    if (!QFileInfo::exists(path))
        return secrets;
    const QStringList lines = readTextLines(path);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals).trimmed();
        if (equals < 0 || (key != u"mail_password" && key != u"webhook_header"))
            throw makeError(PathFileAccess,
                            QStringLiteral("%1 の %2 行目は mail_password=… か webhook_header=… の形ではありません。")
                                .arg(notifySecretsFileName())
                                .arg(i + 1));
        (key == u"mail_password" ? secrets.mailPassword : secrets.webhookHeaderValue) = line.sliced(equals + 1);
    }
    return secrets;
}

void saveNotifySecrets(const NotifySecrets& secrets) {
    for (const QString* value : {&secrets.mailPassword, &secrets.webhookHeaderValue})
        if (value->contains(u'\r') || value->contains(u'\n'))
            throw makeError(PathFileAccess,
                            QStringLiteral("%1 を保存できません: パスワードやトークンに改行は使えません。")
                                .arg(notifySecretsFileName()));
    writeTextLines(programFile(notifySecretsFileName()),
                   {QStringLiteral("mail_password=") + secrets.mailPassword,
                    QStringLiteral("webhook_header=") + secrets.webhookHeaderValue},
                   FileAccess::OwnerOnly);
}

} // namespace velkoria

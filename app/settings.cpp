#include "app/settings.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringTokenizer>
#include <QUrl>

namespace velkoria {

RuntimeError settingsValueError(const QString& path, const QString& key, const QString& what) {
    return RuntimeError(
        TypeMismatch,
        QStringLiteral("設定ファイル %1 の %2 の値が正しくありません: %3").arg(QFileInfo(path).fileName(), key, what));
}

namespace {

QString readUrl(QSettings& ini, const QString& path, const QString& key, const QString& scheme,
                const QString& fallback) {
    if (!ini.contains(key))
        return fallback;
    QString value = ini.value(key).toString().trimmed();
    const QUrl url(value, QUrl::StrictMode);
    // The requests go to the site's root: its path is "/" and nothing else.
    if (!url.isValid() || url.scheme() != scheme || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (url.path() != u"/" && !url.path().isEmpty()))
        throw settingsValueError(path, key.section(u'/', 1),
                                 QStringLiteral("%1://ホスト名[:ポート]/ の形の URL を指定してください").arg(scheme));
    if (url.path().isEmpty())
        value += u'/';
    return value;
}

// A value of the browser's section as it stands in the file. QSettings reads a
// backslash as an escape (\t, \b, \f, ... and drops one it does not know),
// which would mangle a Windows path such as C:\Program Files\Google\...: a
// path or a switch is taken as written, up to a ';' (a comment, as for
// QSettings), without the double quotes round it.
QString browserValueAsWritten(const QString& path, QStringView key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(u'\uFEFF')) // saved by Notepad as UTF-8
        text.remove(0, 1);
    bool inSection = false;
    for (const QStringView raw : QStringTokenizer(text, u'\n')) {
        const QStringView line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inSection = line.compare(u"[browser]", Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0 || line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value;
        bool quoted = false;
        for (const QChar c : line.sliced(equals + 1)) {
            if (c == u'"')
                quoted = !quoted;
            else if (c == u';' && !quoted)
                break;
            else
                value += c;
        }
        return value.trimmed();
    }
    return {};
}
} // namespace

Settings loadSettings(const QString& path) {
    Settings settings;
    if (!QFileInfo::exists(path))
        return settings;
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() == QSettings::FormatError)
        throw RuntimeError(
            PathFileAccess,
            QStringLiteral("設定ファイル %1 の書式が正しくありません。").arg(QFileInfo(path).fileName()));
    settings.searchUrl =
        readUrl(ini, path, QStringLiteral("marketplace/search_url"), QStringLiteral("http"), settings.searchUrl);
    settings.loginUrl =
        readUrl(ini, path, QStringLiteral("marketplace/login_url"), QStringLiteral("https"), settings.loginUrl);
    settings.executable = browserValueAsWritten(path, u"executable");
    settings.arguments = browserValueAsWritten(path, u"arguments").split(u' ', Qt::SkipEmptyParts);
    if (ini.contains(QStringLiteral("browser/load_timeout_seconds"))) {
        bool ok = false;
        const int seconds = ini.value(QStringLiteral("browser/load_timeout_seconds")).toString().trimmed().toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600)
            throw settingsValueError(path, QStringLiteral("load_timeout_seconds"),
                                     QStringLiteral("1 から 3600 までの秒数を指定してください"));
        settings.loadTimeoutSeconds = seconds;
    }
    if (ini.contains(QStringLiteral("announce/boxes"))) {
        const QString value = ini.value(QStringLiteral("announce/boxes")).toString().trimmed().toLower();
        if (value != u"true" && value != u"false")
            throw settingsValueError(path, QStringLiteral("boxes"), QStringLiteral("true か false を指定してください"));
        settings.announceBoxes = value == u"true";
    }
    return settings;
}

MarketplaceSite marketplaceSite(const Settings& settings) {
    return {settings.searchUrl, settings.loginUrl, settings.loadTimeoutSeconds};
}

BrowserOptions browserOptions(const Settings& settings) {
    return {settings.executable, settings.arguments, settings.loadTimeoutSeconds};
}

} // namespace velkoria

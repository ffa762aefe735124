#include "platform/settings.h"

#include "platform/errors.h"

#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace velkoria {

namespace {
RuntimeError badValue(const QString& path, const QString& key, const QString& what) {
    return RuntimeError(
        TypeMismatch,
        QStringLiteral("設定ファイル %1 の %2 の値が正しくありません: %3").arg(QFileInfo(path).fileName(), key, what));
}

QString readUrl(QSettings& ini, const QString& path, const QString& key, const QString& scheme,
                const QString& fallback) {
    if (!ini.contains(key))
        return fallback;
    QString value = ini.value(key).toString().trimmed();
    const QUrl url(value, QUrl::StrictMode);
    // The requests go to the site's root: its path is "/" and nothing else.
    if (!url.isValid() || url.scheme() != scheme || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (url.path() != u"/" && !url.path().isEmpty()))
        throw badValue(path, key.section(u'/', 1),
                       QStringLiteral("%1://ホスト名[:ポート]/ の形の URL を指定してください").arg(scheme));
    if (url.path().isEmpty())
        value += u'/';
    return value;
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
    settings.executable = ini.value(QStringLiteral("browser/executable")).toString().trimmed();
    // QSettings splits an unquoted value at commas into a list; join it back so that
    // arguments such as --flag=a,b survive.
    const QVariant args = ini.value(QStringLiteral("browser/arguments"));
    const QString argText = args.typeId() == QMetaType::QStringList ? args.toStringList().join(u',') : args.toString();
    settings.arguments = argText.split(u' ', Qt::SkipEmptyParts);
    if (ini.contains(QStringLiteral("browser/load_timeout_seconds"))) {
        bool ok = false;
        const int seconds = ini.value(QStringLiteral("browser/load_timeout_seconds")).toString().trimmed().toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600)
            throw badValue(path, QStringLiteral("load_timeout_seconds"),
                           QStringLiteral("1 から 3600 までの秒数を指定してください"));
        settings.loadTimeoutSeconds = seconds;
    }
    return settings;
}

} // namespace velkoria

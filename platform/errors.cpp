#include "platform/errors.h"

namespace velkoria {

RuntimeError::RuntimeError(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QString(QString::number(number) + u": " + m_description).toUtf8()) {}

QString standardDescription(int number) {
    switch (number) {
    case Overflow:
        return QStringLiteral("オーバーフローしました。");
    case OutOfMemory:
        return QStringLiteral("メモリが不足しています。");
    case SubscriptOutOfRange:
        return QStringLiteral("インデックスが有効範囲にありません。");
    case TypeMismatch:
        return QStringLiteral("型が一致しません。");
    case InternalError:
        return QStringLiteral("内部エラーです。");
    case FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case InputPastEndOfFile:
        return QStringLiteral("ファイルにこれ以上データがありません。");
    case PathFileAccess:
        return QStringLiteral("パス名またはファイルへのアクセスに失敗しました。");
    case CannotStartBrowser:
        return QStringLiteral("ブラウザ（Chrome、Edge または Chromium）を起動できません。");
    case AutomationError:
        return QStringLiteral("ブラウザの操作でエラーが発生しました。");
    case BrowserGone:
        return QStringLiteral("ブラウザが終了しているため、操作できません。");
    default:
        return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
    }
}

RuntimeError makeError(int number, const QString& detail) {
    QString text = standardDescription(number);
    if (!detail.isEmpty())
        text += u'\n' + detail;
    return RuntimeError(number, text);
}

} // namespace velkoria

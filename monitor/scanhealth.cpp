#include "monitor/scanhealth.h"

namespace velkoria {

QString monitoringBrokenMessage(const QString& caption, PageFailure failure) {
    QString cause;
    switch (failure) {
    case PageFailure::LoadFailed:
        cause = QStringLiteral("サイトにつながらないか、サイトがエラーを返しました");
        break;
    case PageFailure::TimedOut:
        cause = QStringLiteral("ページが制限時間内に読み込まれませんでした");
        break;
    case PageFailure::NoAnswer:
        cause = QStringLiteral("ブラウザが応答しません");
        break;
    case PageFailure::Elsewhere:
        cause = QStringLiteral("ログインページに移りました");
        break;
    case PageFailure::EmptyPage:
        cause = QStringLiteral("空のページ");
        break;
    }
    return QStringLiteral("リアルタイム検査: 「%1」のページを %2 回続けて読み込めませんでした (%3)。"
                          "読み込めるようになるまで、このカテゴリの新規案件はお知らせできません。")
        .arg(caption)
        .arg(ScanHealth::kFailureStreak)
        .arg(cause);
}

QString monitoringMendedMessage(const QString& caption) {
    return QStringLiteral("リアルタイム検査: 「%1」のページをまた読み込めるようになりました。").arg(caption);
}

QString scanLabelToolTip(const ScanSummary& summary) {
    QString text = QStringLiteral("クリックすると、すぐにスキャンします。\n");
    if (!summary.finished.isValid())
        return text + QStringLiteral("まだスキャンしていません。");
    text += QStringLiteral("前回のスキャン: %1 に終了、%2 カテゴリを読み込み")
                .arg(summary.finished.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")))
                .arg(summary.read);
    if (summary.failed > 0)
        text += QStringLiteral("、うち %1 カテゴリは失敗").arg(summary.failed);
    return text;
}

void ScanHealth::startRun() {
    m_running = {};
    m_messages.clear();
}

void ScanHealth::pageRead(const QString& key, const QString& caption) {
    ++m_running.read;
    const auto it = m_streaks.find(key);
    if (it == m_streaks.end())
        return;
    if (it->reported)
        m_messages.append(monitoringMendedMessage(caption));
    m_streaks.erase(it);
}

void ScanHealth::pageFailed(const QString& key, const QString& caption, PageFailure failure) {
    ++m_running.read;
    ++m_running.failed;
    Streak& streak = m_streaks[key];
    ++streak.failures;
    if (streak.failures >= kFailureStreak && !streak.reported) {
        streak.reported = true;
        m_messages.append(monitoringBrokenMessage(caption, failure));
    }
}

void ScanHealth::finishRun(const QDateTime& now) {
    m_running.finished = now;
    m_summary = m_running;
}

QStringList ScanHealth::takeMessages() {
    QStringList messages;
    messages.swap(m_messages);
    return messages;
}

} // namespace velkoria

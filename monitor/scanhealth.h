#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

namespace velkoria {

// Why a category's result page was not read in a scan run.
enum class PageFailure {
    LoadFailed, // a network error, or the site answered with an HTTP error
    TimedOut,   // the page did not finish within its time limit
    NoAnswer,   // the browser stopped answering
    Elsewhere,  // the search ended at another page (a logged-out session: the login page)
    EmptyPage,  // the site answered with an empty document
};

// What the latest finished scan run did.
struct ScanSummary {
    QDateTime finished; // invalid before the first run has finished
    int read = 0;       // categories whose page the run loaded (or tried to)
    int failed = 0;     // of those, the ones whose page failed
};

// Keeps the user told whether monitoring works: a category whose page fails
// in kFailureStreak runs in a row gets one message naming its caption and the
// cause, and one more when its page loads again. Counts the pages of each run
// for the scan label's tooltip. Knows nothing of the browser or the window.
class ScanHealth {
public:
    static constexpr int kFailureStreak = 3;

    void startRun();
    // The category (its key) loaded and was read.
    void pageRead(const QString& key, const QString& caption);
    void pageFailed(const QString& key, const QString& caption, PageFailure failure);
    void finishRun(const QDateTime& now);

    // The messages that the latest run has to show, once: broken and mended
    // categories, in the order of their pages.
    QStringList takeMessages();
    const ScanSummary& summary() const { return m_summary; }

private:
    struct Streak {
        int failures = 0;
        bool reported = false;
    };
    QHash<QString, Streak> m_streaks;
    ScanSummary m_running;
    ScanSummary m_summary;
    QStringList m_messages;
};

// The texts of the messages.
QString monitoringBrokenMessage(const QString& caption, PageFailure failure);
QString monitoringMendedMessage(const QString& caption);
// The scan label's tooltip: the latest run, and that a click scans now.
QString scanLabelToolTip(const ScanSummary& summary);

} // namespace velkoria

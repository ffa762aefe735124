#pragma once

#include "browser/marketplace.h"
#include "buttons/tables.h"
#include "monitor/announcer.h"
#include "monitor/scanhealth.h"
#include "monitor/scanner.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

namespace velkoria {

inline QString seenRequestFileName() {
    return QStringLiteral("new_item.txt");
}

// Said once when the seen-request file exists but cannot be read.
inline QString seenFileUnreadableNotice() {
    return QStringLiteral("このファイルを読めるようになるまで、新規案件はお知らせしません。");
}

// Said once by a run that found more new-marked requests than it can hold;
// caption names the page on which it stopped collecting.
inline QString collectionStoppedMessage(const QString& caption) {
    return QStringLiteral(
               "リアルタイム検査: 新規案件が 1 回のスキャンで扱える %1 件を超えたため、「%2」のページの途中で"
               "集めるのをやめました。それより後の新規案件は、このスキャンではお知らせしません。")
        .arg(ScanResults::kMaxEntries)
        .arg(caption);
}

// The scan indicators: Text2's background and Label3's caption.
inline QColor scanningBackground() {
    return QColor(2, 255, 0);
}
inline QColor restingBackground() {
    return QColor(255, 255, 255);
}
inline QString scanningCaption() {
    return QStringLiteral("スキャン中");
}

// What the main window shows of a scan run.
class ScanIndicators {
public:
    virtual ~ScanIndicators() = default;
    // true: Text2 gets scanningBackground() and Label3 scanningCaption();
    // false: restingBackground() and the empty caption. The window paints them
    // while the run waits for its pages.
    virtual void setScanning(bool scanning) = 0;
    // What the latest finished run did (the scan label's tooltip).
    virtual void showSummary(const ScanSummary& summary) { Q_UNUSED(summary); }
    // With the boxes turned off: the latest message of the finished run, shown
    // on Label3 at rest (its tooltip holds the whole text); empty for a run
    // that had none.
    virtual void showNotice(const QString& text) { Q_UNUSED(text); }
};

// What the schedule starts. Runs never nest: a scan asked for while any
// handler runs (a run with its boxes, a quick-access page wait) waits until
// that handler has ended, and the schedule's own tick during a run is dropped,
// before either gets here (app/useractions.h).
class ScanRunner {
public:
    virtual ~ScanRunner() = default;
    // One scan run.
    virtual void scanjobs() = 0;
};

// The scan run: every bound quick button's search in the hidden browser, the
// new-marked requests of each result page, each request that the previous run
// did not collect announced (the announcer's list, desktop and box, or the box
// alone), and the seen-request file rewritten.
class ScanRun : public ScanRunner {
public:
    // buttons is the window's quick-button table, read afresh by every run;
    // sort gives the sort order chosen on the window at that moment (sorttype());
    // clock tells when a run has finished. A closed browser makes scanjobs
    // throw BrowserGoneError, with the seen-request file untouched.
    ScanRun(Marketplace& market, const ButtonInfo& buttons, ScanIndicators& indicators, MessageSink& messages,
            const Clock& clock, std::function<QString()> sort);

    void scanjobs() override;
    // Who announces the unseen requests besides the box (notification,
    // taskbar, list); without one, each gets its box only.
    void setAnnouncer(Announcer* announcer) { m_announcer = announcer; }
    // With the boxes turned off: where the run's messages go instead of boxes
    // (the monitoring notice, a file that cannot be written, the collection
    // stopped), so that no run waits for a click; the latest also goes to the
    // indicators. Null: boxes.
    void setNotices(MessageSink* notices) { m_notices = notices; }
    // Where each run hands its unseen requests to be told away from the PC
    // (mail, webhook: monitor/remotenotices.h), once a run, before the boxes
    // wait; an empty list from a run without any (or whose seen-request file
    // could not be read), so that what failed before is sent again. It must
    // return at once: the sending runs beside the scan.
    void setRemoteNotices(std::function<void(const QList<Announcement>& unseen)> handOver) {
        m_remote = std::move(handOver);
    }

    // The latest run's collection (kept until the next run starts).
    const ScanResults& results() const { return m_results; }
    // What the latest finished run read, for the scan label.
    const ScanSummary& summary() const { return m_health.summary(); }

    // After a page ran out of its time limit, the later pages of the same run
    // get this much at most: a site that stalls every page costs one full
    // limit per run, not one per category.
    static constexpr std::chrono::seconds kStalledRunLimit{5};

private:
    // Loads and reads the page of every bound slot; false if any did not load.
    bool readPages();
    // Ends the current page after it did not load in time or stopped answering.
    void stopPage();
    void announce(const QStringList& seen);
    void savenewitems(const QStringList& keptFromPrevious);
    // A message of the run: a box, or a notice.
    void say(const QString& text);

    Marketplace& m_market;
    const ButtonInfo& m_buttons;
    ScanIndicators& m_indicators;
    MessageSink& m_messages;
    const Clock& m_clock;
    std::function<QString()> m_sort;
    ScanResults m_results;
    ScanHealth m_health;
    Announcer* m_announcer = nullptr;
    MessageSink* m_notices = nullptr;
    std::function<void(const QList<Announcement>&)> m_remote;
    // The latest notice of the current run.
    QString m_notice;
    // The unreadable seen-request file has been reported and not read since.
    bool m_seenFileReported = false;
    // The lines of the latest run's seen-request file that could not be written.
    std::optional<QStringList> m_unsaved;
};

} // namespace velkoria

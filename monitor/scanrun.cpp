#include "monitor/scanrun.h"

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/textfile.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <optional>

namespace velkoria {

namespace {

// The most lines the seen-request file holds, and the most a run reads of it:
// this run's IDs (at most as many) come first, the previous ones carried
// after a failed page only up to this many lines in all (the oldest go
// first), so that a category that keeps failing does not make the file grow
// for ever.
constexpr qsizetype kSeenFileLines = ScanResults::kMaxEntries;

// The previous run's IDs. A missing file (before the first run) counts as
// empty: everything collected is then announced.
std::optional<QStringList> readSeenRequests(std::optional<RuntimeError>& failure) {
    const QString path = programFile(seenRequestFileName());
    if (!QFileInfo::exists(path))
        return QStringList{};
    try {
        return readTextLines(path, kSeenFileLines);
    } catch (const RuntimeError& error) {
        failure = error;
        return std::nullopt;
    }
}

} // namespace

ScanRun::ScanRun(Marketplace& market, const ButtonInfo& buttons, ScanIndicators& indicators, MessageSink& messages,
                 const Clock& clock, std::function<QString()> sort)
    : m_market(market), m_buttons(buttons), m_indicators(indicators), m_messages(messages), m_clock(clock),
      m_sort(std::move(sort)) {}

void ScanRun::scanjobs() {
    try {
        m_market.browser().setVisible(false);
    } catch (const BrowserCommandError&) {
        // The browser did not answer the hide in time: pages load the same in
        // a shown window, and the pages' own limits deal with a browser that
        // answers nothing at all.
    }
    m_indicators.setScanning(true);
    m_results.clear();
    m_notice.clear();
    m_health.startRun();
    const bool allLoaded = readPages();
    // The pages' texts are gone: their memory goes back to the system, not
    // kept while the program idles until the next run.
    returnFreedMemory();
    std::optional<RuntimeError> unreadable;
    // After a run whose file could not be written, its IDs (kept here) are
    // what the file should hold: compared with the file's older lines, they
    // would all be announced again.
    if (const std::optional<QStringList> seen = m_unsaved ? m_unsaved : readSeenRequests(unreadable)) {
        m_seenFileReported = false;
        announce(*seen);
        // A page that did not load is no page without news: keep the previous
        // IDs, or its requests would be announced again after the hiccup.
        savenewitems(allLoaded ? QStringList{} : *seen);
    } else {
        // A file that is there but cannot be read (locked by a virus scanner
        // or a backup, or damaged): compared with nothing, every request would
        // be announced again. Announce nothing, leave the file as it is, and
        // say so once; the next run tries again. What waits to be sent away
        // from the PC is tried again all the same.
        if (m_remote)
            m_remote({});
        if (!m_seenFileReported) {
            m_seenFileReported = true;
            say(unreadable->description() + u'\n' + seenFileUnreadableNotice());
        }
    }
    if (m_results.full)
        say(collectionStoppedMessage(m_results.curtitle));
    m_health.finishRun(m_clock.now());
    m_indicators.showSummary(m_health.summary());
    for (const QString& message : m_health.takeMessages())
        say(message);
    if (m_notices)
        m_indicators.showNotice(m_notice);
    m_indicators.setScanning(false);
}

bool ScanRun::readPages() {
    bool allLoaded = true;
    bool stalled = false;
    // The short limit of a stalled run also bounds the browser's answers (a
    // fresh page's setup, a navigation's start), and ends with the run.
    const auto fullLimit = qScopeGuard([this, &stalled] {
        if (stalled)
            m_market.browser().setAnswerLimit(std::chrono::milliseconds(0));
    });
    for (int n = 1; n <= kButtonSlots; ++n) {
        const TableRow row = m_buttons.slot(n);
        if (row.key.isEmpty())
            continue;
        try {
            m_market.newjob(row.key, m_sort ? m_sort() : sorttype(false, false));
        } catch (const UnsendableValueError& error) {
            // Nothing was sent: say why, and count the slot's page as not loaded.
            say(error.description());
            allLoaded = false;
            continue;
        }
        std::optional<PageFailure> failure;
        try {
            const PageLoad load = stalled ? m_market.waitpage(kStalledRunLimit) : m_market.waitpage();
            if (load != PageLoad::Complete) {
                // The browser holds its error page, or still the previous slot's page:
                // reading it would credit that page's requests to this caption.
                failure = load == PageLoad::TimedOut ? PageFailure::TimedOut : PageFailure::LoadFailed;
            } else if (m_market.searchLeftForAnotherPage()) {
                // A logged-out session is sent to the login page, and a site
                // may answer with nothing: neither is a result page with no
                // new requests, or monitoring would go silent without a word.
                failure = PageFailure::Elsewhere;
            } else {
                m_results.curtitle = row.caption;
                if (!readjobpage(m_market.browser(), m_results)) {
                    failure = PageFailure::EmptyPage;
                } else if (m_results.full) {
                    // The later pages would add nothing: not loaded, and their
                    // previous IDs are carried as after a failed page.
                    m_health.pageRead(row.key, row.caption);
                    return false;
                }
            }
        } catch (const BrowserCommandError&) {
            // A page command failed (the browser did not answer in time while the
            // page was awaited or read): a page that did not load, no reason to
            // end the program.
            failure = PageFailure::NoAnswer;
        }
        if (failure) {
            allLoaded = false;
            m_health.pageFailed(row.key, row.caption, *failure);
            // A page that ran out of time or stopped answering is replaced,
            // and the rest of the run gets a short limit: one such page costs
            // one limit.
            if (*failure == PageFailure::TimedOut || *failure == PageFailure::NoAnswer) {
                if (!std::exchange(stalled, true))
                    m_market.browser().setAnswerLimit(kStalledRunLimit);
                stopPage();
            }
            continue;
        }
        m_health.pageRead(row.key, row.caption);
    }
    return allLoaded;
}

void ScanRun::stopPage() {
    // A page that ran out of its time, or whose browser page stopped
    // answering, may be held by a script that never ends: left as it is, it
    // would keep every later page from loading and a processor core busy.
    try {
        m_market.browser().stopPage();
    } catch (const BrowserCommandError&) {
        // The browser did not answer: the next page's own limit deals with it.
    }
}

void ScanRun::announce(const QStringList& seen) {
    // Exact, case-sensitive equality with any line, as a set: same answer, no
    // line-by-line comparison per entry. An ID is compared as the file holds
    // it (a character that code page 932 lacks as "?"), or an ID with such a
    // character would be announced again by every run.
    const QSet<QString> seenIds(seen.cbegin(), seen.cend());
    const qsizetype count = m_results.newcount();
    QList<Announcement> unseen;
    for (qsizetype i = 0; i < count; ++i) {
        const QString& id = m_results.newitem.at(i);
        if (!seenIds.contains(storableText(id)))
            unseen.append({{},
                           m_results.newitemtitle.at(i),
                           id,
                           m_market.requestUrl(m_results.newitemlink.at(i), id),
                           m_results.newitemtext.at(i)});
    }
    // Away from the PC first: the boxes below wait for a user who may not be there.
    if (m_remote)
        m_remote(unseen);
    if (!m_announcer) {
        for (const Announcement& request : std::as_const(unseen))
            m_messages.show(newRequestMessage(request.caption));
        return;
    }
    if (const QString failure = m_announcer->announce(unseen); !failure.isEmpty())
        say(failure);
}

void ScanRun::savenewitems(const QStringList& keptFromPrevious) {
    QStringList lines;
    lines.reserve(m_results.newcount());
    for (const QString& id : m_results.newitem)
        lines.append(storableText(id));
    if (!keptFromPrevious.isEmpty()) {
        const QSet<QString> collected(lines.cbegin(), lines.cend());
        for (const QString& line : keptFromPrevious) {
            if (lines.size() >= kSeenFileLines)
                break;
            if (!collected.contains(line))
                lines.append(line);
        }
    }
    try {
        writeTextLines(programFile(seenRequestFileName()), lines);
        m_unsaved.reset();
    } catch (const RuntimeError& error) {
        // The write is atomic: the old file stays whole, but it no longer
        // holds what this run announced. Say so and go on; the next run
        // compares with these lines and writes them again.
        m_unsaved = lines;
        say(error.description());
    }
}

void ScanRun::say(const QString& text) {
    if (!m_notices) {
        m_messages.show(text);
        return;
    }
    m_notice = text;
    m_notices->show(text);
}

} // namespace velkoria

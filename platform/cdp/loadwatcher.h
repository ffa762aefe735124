#pragma once

#include <QJsonObject>
#include <QString>

namespace velkoria::cdp {

// The load state of the page as the program sees it (busy, ready state, failed),
// derived from the browser's events alone: while a navigation is under way the
// browser answers no query about the page, so only events can report "busy".
// No I/O: it is fed the navigations the program starts and the events of the
// page's session.
//
// A navigation the program started is followed by its loaderId (known from
// Page.frameStartedNavigating for the address asked for, or the Page.navigate
// reply): a navigation the page starts itself at that moment (a refresh, a
// script's redirect) is not the program's, and its end, cancelled by the
// program's, says nothing of the program's. It is complete at
// the "load" lifecycle event of that loader; the old document's lifecycle
// events, which keep arriving during the request, are ignored. It has failed
// on an errorText in the reply, Network.loadingFailed of its document, an
// HTTP status of 400 or more, or when the frame stops loading without that
// load event: the page counts as loaded by its own load event only. A failed
// navigation still ends idle and complete (the browser shows its error page,
// or keeps the previous one). busy() also covers every load of the main
// frame, from Page.frameStartedLoading to Page.frameStoppedLoading.
class LoadWatcher {
public:
    void setMainFrame(const QString& frameId) { m_mainFrame = frameId; }
    const QString& mainFrame() const { return m_mainFrame; }

    // The program has sent Page.navigate to url.
    void navigationRequested(const QString& url);
    // The reply of Page.navigate: loaderId, and errorText when it failed.
    void navigationAnswered(const QJsonObject& result);
    // Page.navigate itself was refused (a protocol error).
    void navigationRefused();
    // An event of the page's session.
    void handleEvent(const QString& method, const QJsonObject& params);
    // The page was replaced by a fresh, empty one (its main frame is told
    // anew): a navigation still followed has not loaded.
    void pageReplaced();

    bool busy() const { return m_pending || m_loading; }
    // 1 loading, 3 interactive (the document is parsed), 4 complete.
    int readyState() const { return m_readyState; }
    bool failed() const { return m_failed; }
    // The address of the main frame's current document (where its
    // navigation ended, after redirects); empty before the first.
    const QString& documentUrl() const { return m_documentUrl; }
    // The navigation the program started has ended, one way or the other.
    bool settled() const { return !m_pending; }

private:
    void settle();
    bool isMainFrame(const QJsonObject& params) const;

    QString m_mainFrame;
    QString m_address;  // of the navigation being followed, as requestAddress writes it
    QString m_loaderId; // of the navigation being followed; empty until known
    bool m_pending = false;
    bool m_loading = false;
    bool m_startedLoading = false; // the frame started loading after the request
    bool m_failed = false;
    QString m_documentUrl;
    int m_readyState = 4;
};

} // namespace velkoria::cdp

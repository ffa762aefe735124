#include "platform/cdp/loadwatcher.h"

#include "platform/cdp/address.h"
#include "platform/cdp/json.h"

namespace velkoria::cdp {

bool LoadWatcher::isMainFrame(const QJsonObject& params) const {
    return text(params, "frameId") == m_mainFrame;
}

void LoadWatcher::navigationRequested(const QString& url) {
    m_address = requestAddress(url);
    m_pending = true;
    m_loaderId.clear();
    m_startedLoading = false;
    m_failed = false;
    m_readyState = 1;
}

void LoadWatcher::settle() {
    m_pending = false;
    m_readyState = 4;
}

void LoadWatcher::navigationAnswered(const QJsonObject& result) {
    if (!m_pending)
        return;
    if (!text(result, "errorText").isEmpty()) {
        m_failed = true;
        settle();
        return;
    }
    const QString loaderId = text(result, "loaderId");
    if (loaderId.isEmpty()) {
        settle(); // a navigation within the document: nothing will load
        return;
    }
    // The reply is authoritative should an earlier event have named another loader.
    m_loaderId = loaderId;
}

void LoadWatcher::navigationRefused() {
    if (!m_pending)
        return;
    m_failed = true;
    settle();
}

void LoadWatcher::pageReplaced() {
    if (m_pending)
        m_failed = true;
    settle();
    m_loading = false;
    m_mainFrame.clear();
    m_documentUrl.clear();
}

void LoadWatcher::handleEvent(const QString& method, const QJsonObject& params) {
    if (method == QLatin1String("Page.frameStartedLoading")) {
        if (isMainFrame(params)) {
            m_loading = true;
            if (m_pending)
                m_startedLoading = true;
        }
    } else if (method == QLatin1String("Page.frameStoppedLoading")) {
        if (!isMainFrame(params))
            return;
        m_loading = false;
        // Stopped without its load event: the navigation was cancelled or
        // answered without a new document, and the document that stays is
        // not its page. A stop before this navigation was seen starting
        // belongs to an older load.
        if (m_pending && m_startedLoading && !m_loaderId.isEmpty()) {
            m_failed = true;
            settle();
        }
    } else if (method == QLatin1String("Page.frameStartedNavigating")) {
        if (m_pending && m_loaderId.isEmpty() && isMainFrame(params) &&
            !text(params, "navigationType").contains(QLatin1String("ameDocument")) &&
            requestAddress(text(params, "url")) == m_address)
            m_loaderId = text(params, "loaderId");
    } else if (method == QLatin1String("Page.lifecycleEvent")) {
        if (!m_pending || m_loaderId.isEmpty() || text(params, "loaderId") != m_loaderId || !isMainFrame(params))
            return;
        const QString name = text(params, "name");
        if (name == QLatin1String("DOMContentLoaded"))
            m_readyState = 3;
        else if (name == QLatin1String("load")) {
            // The document is complete: the frame's own "stopped loading" follows
            // a few milliseconds later and is not waited for.
            m_loading = false;
            settle();
        }
    } else if (method == QLatin1String("Page.frameNavigated")) {
        const QJsonObject frame = params.value(QLatin1String("frame")).toObject();
        if (!frame.contains(QLatin1String("parentId")) && text(frame, "id") == m_mainFrame)
            m_documentUrl = text(frame, "url");
    } else if (method == QLatin1String("Network.responseReceived")) {
        if (m_pending && !m_loaderId.isEmpty() && text(params, "requestId") == m_loaderId &&
            params.value(QLatin1String("response")).toObject().value(QLatin1String("status")).toInt() >= 400)
            m_failed = true;
    } else if (method == QLatin1String("Network.loadingFailed")) {
        // The document request's id is its loader's id.
        if (m_pending && !m_loaderId.isEmpty() && text(params, "requestId") == m_loaderId) {
            m_failed = true;
            settle();
        }
    } else if (method == QLatin1String("Inspector.targetCrashed")) {
        // The page's renderer died: nothing more will load.
        m_loading = false;
        if (m_pending) {
            m_failed = true;
            settle();
        }
    }
}

} // namespace velkoria::cdp

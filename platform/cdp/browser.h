#pragma once

#include "platform/cdp/errors.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <exception>
#include <functional>

namespace velkoria {

// The one browser instance of the program's own, as the rest of the program sees it.
// Every member throws BrowserGoneError once the browser no longer exists (the
// user closed its window, it crashed); a command the browser refuses or does
// not answer in time throws BrowserCommandError.
//
// The browser may still be starting when the program gets it: hiding it and
// setting its top edge are then applied as it comes up, and every other member
// waits for it (the program's one wait, platform/wait.h) within the limit of
// its first answer. A browser that fails to start makes every member throw
// that failure (BrowserStartError).
class Browser {
public:
    virtual ~Browser() = default;

    // failed runs once, from the event loop, when the start fails (also when
    // nothing waits for the browser then), with the failure to tell the user.
    // A browser that is ready when made never calls it.
    virtual void onStartFailure(std::function<void(std::exception_ptr failure)> failed) { (void)failed; }

    // Shows the window (normal state, in front) or hides it. Loading and reading
    // pages work the same while it is hidden.
    virtual void setVisible(bool visible) = 0;
    // Moves the window's top edge to the given screen position.
    virtual void setTop(int top) = 0;

    // Starts a POST of postData to url in the browser's window, with headers
    // ("Name: value" lines, each ended by CR LF) added to the browser's own.
    // Returns without waiting for the page; from its return busy() and
    // readyState() describe this navigation until its page is complete.
    virtual void navigate(const QString& url, const QByteArray& postData, const QString& headers) = 0;
    // True while a navigation or download is in progress.
    virtual bool busy() = 0;
    // 4 once the current document is complete; another value before that.
    virtual int readyState() = 0;
    // Whether the latest navigation failed: a network error, or an HTTP status of
    // 400 or more for the document itself. Such a navigation still ends idle and
    // complete (the browser shows its error page).
    virtual bool lastLoadFailed() = 0;

    // Ends the current page at once, its loading and its scripts (one that
    // never ends included), so that the next navigation starts on a page that
    // answers. The window keeps its state.
    virtual void stopPage() = 0;

    // Waits until done() holds (it reads the members above) or the limit has
    // passed; false at the limit. The program's windows keep painting
    // meanwhile (the program's one wait, platform/wait.h).
    virtual bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) = 0;

    // The markup of the current document's root element, written out from the
    // loaded document: element names in upper case, attribute values in double
    // quotes, text escaped as an HTML serializer does.
    virtual QString documentHtml() = 0;
    // The address of the current document: where its navigation ended, after
    // the site's redirects. Empty when not known.
    virtual QString documentUrl() { return {}; }
};

} // namespace velkoria

// The DevTools connection over a scripted transport: the input is what the
// browser sends, messages separated by NUL bytes. The program's side posts
// and calls commands, follows the page's load state and answers paused
// requests, as the browser object does.
#include "platform/cdp/connection.h"
#include "platform/cdp/loadwatcher.h"
#include "platform/cdp/postinterceptor.h"

#include <QList>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace velkoria;
using namespace velkoria::cdp;

class ScriptedTransport : public Transport {
public:
    explicit ScriptedTransport(QList<QByteArray> messages) : m_messages(std::move(messages)) {}
    bool write(const QByteArray& message) override {
        ++m_written;
        return !m_closed && m_written < 1000;
    }
    ReadResult read(QByteArray& message) override {
        if (m_messages.isEmpty())
            return m_closeAtEnd ? ReadResult::Closed : ReadResult::Empty;
        message = m_messages.takeFirst();
        return ReadResult::Message;
    }
    void setReadableHandler(std::function<void()>) override {}
    void close() override { m_closed = true; }
    void closeAtEnd(bool close) { m_closeAtEnd = close; }

private:
    QList<QByteArray> m_messages;
    int m_written = 0;
    bool m_closed = false;
    bool m_closeAtEnd = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    const uint8_t flags = data[0];
    auto transport = std::make_unique<ScriptedTransport>(input.split('\0'));
    transport->closeAtEnd(flags & 1);
    Connection connection(std::move(transport));

    LoadWatcher watcher;
    watcher.setMainFrame(QStringLiteral("F1"));
    PostInterceptor interceptor;
    interceptor.arm(QStringLiteral("http://x/"), "a=1&b=%E3",
                    PostInterceptor::parseHeaderLines(QStringLiteral("Content-Type: x\r\nX: y\r\n")));
    connection.addEventListener([&](const QString& method, const QJsonObject& params, const QString&) {
        if (method == QLatin1String("Fetch.requestPaused")) {
            connection.post(QStringLiteral("Fetch.continueRequest"),
                            interceptor.continueParams(params, watcher.mainFrame()));
            return;
        }
        if (method == QLatin1String("Target.detachedFromTarget") && (flags & 2))
            connection.markGone();
        watcher.handleEvent(method, params);
    });
    try {
        watcher.navigationRequested(QStringLiteral("http://x/"));
        connection.post(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), QStringLiteral("http://x/")}}, {},
                        [&](const QJsonObject& result, std::exception_ptr error) {
                            if (!error)
                                watcher.navigationAnswered(result);
                            else
                                watcher.navigationRefused();
                        });
        (void)connection.call(QStringLiteral("Runtime.evaluate"), {}, QStringLiteral("S"), QDeadlineTimer(0));
    } catch (const BrowserError&) {
    }
    // Everything that is left, a burst at a time.
    for (qsizetype burst = 0; burst <= input.size() / 256 + 1; ++burst)
        connection.dispatchArrived();
    if (watcher.readyState() != 1 && watcher.readyState() != 3 && watcher.readyState() != 4)
        std::abort();
    (void)watcher.busy();
    (void)watcher.failed();
    return 0;
}

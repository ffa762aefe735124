#include "platform/cdp/winpipetransport.h"

#include "platform/win/pipechannel.h"

#include <QMetaObject>
#include <string>

namespace velkoria::cdp {

WinPipeTransport::WinPipeTransport(std::unique_ptr<win::PipeChannel> channel) : m_channel(std::move(channel)) {}

WinPipeTransport::~WinPipeTransport() {
    close();
}

bool WinPipeTransport::write(const QByteArray& message) {
    return m_channel && m_channel->write(std::string_view(message.constData(), size_t(message.size())));
}

Transport::ReadResult WinPipeTransport::read(QByteArray& message) {
    if (!m_channel)
        return ReadResult::Closed;
    std::string text;
    ++m_reads;
    // A deadline already past: take only what has arrived.
    switch (m_channel->read(text, win::PipeChannel::Clock::time_point::min())) {
    case win::PipeChannel::ReadResult::Message:
        message = QByteArray(text.data(), qsizetype(text.size()));
        return ReadResult::Message;
    case win::PipeChannel::ReadResult::Timeout:
        return ReadResult::Empty;
    case win::PipeChannel::ReadResult::Closed:
        break;
    }
    return ReadResult::Closed;
}

// Reader thread: one queued call at a time is enough, since the handler reads
// everything that has arrived.
void WinPipeTransport::post() {
    if (m_posted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this, token = std::weak_ptr<int>(m_token)] {
            if (!token.expired())
                deliver();
        },
        Qt::QueuedConnection);
}

void WinPipeTransport::deliver() {
    m_posted = false;
    const quint64 readsBefore = m_reads;
    if (m_onReadable)
        m_onReadable();
    // The handler reads a bounded burst; like a level-triggered notifier, call
    // it again while there is more (the handler may have closed the channel).
    // A handler that took nothing (its connection already gone) is not called
    // in a loop: the next arrival calls it again.
    if (m_reads != readsBefore && m_token && m_channel && m_channel->readable())
        post();
}

void WinPipeTransport::dropContext() {
    if (m_channel)
        m_channel->setArrivalHandler({}); // no reader-thread call after this
    m_token.reset();
    if (m_context) {
        // May run inside the context's own queued call: let the event loop delete it.
        m_context->deleteLater();
        m_context = nullptr;
    }
    m_posted = false;
}

void WinPipeTransport::setReadableHandler(std::function<void()> onReadable) {
    dropContext();
    m_onReadable = std::move(onReadable);
    if (!m_channel || !m_onReadable)
        return;
    m_context = new QObject;
    m_token = std::make_shared<int>(0);
    m_channel->setArrivalHandler([this] { post(); });
    // Messages that came before the handler was set.
    if (m_channel->readable())
        post();
}

void WinPipeTransport::close() {
    dropContext();
    if (m_channel)
        m_channel->close();
}

} // namespace velkoria::cdp

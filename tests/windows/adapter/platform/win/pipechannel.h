#pragma once

// Stands in for the Win32 win::PipeChannel (same interface), so that the Qt
// adapter over it, platform/cdp/winpipetransport.cpp, is built and tested on
// Linux. arrive() plays the channel's reader thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velkoria::win {

class PipeChannel {
public:
    using Clock = std::chrono::steady_clock;
    enum class ReadResult { Message, Timeout, Closed };

    bool write(std::string_view message) {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_ended)
            return false;
        written.emplace_back(message);
        return true;
    }

    ReadResult read(std::string& message, Clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!m_queue.empty()) {
                message = m_queue.front();
                m_queue.pop_front();
                return ReadResult::Message;
            }
            if (m_ended || m_closed) {
                m_endReported = true;
                return ReadResult::Closed;
            }
            if (Clock::now() >= deadline)
                return ReadResult::Timeout;
            if (deadline == Clock::time_point::max())
                m_changed.wait(lock);
            else
                m_changed.wait_until(lock, deadline);
        }
    }

    bool readable() const {
        std::lock_guard lock(m_mutex);
        return !m_queue.empty() || ((m_ended || m_closed) && !m_endReported);
    }

    void setArrivalHandler(std::function<void()> onArrival) {
        std::lock_guard lock(m_handlerMutex);
        m_handler = std::move(onArrival);
    }

    void close() {
        setArrivalHandler({});
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

    // Called from any thread, as the reader thread would: the messages arrive
    // (and the pipe ends, when end is set), then the handler is told once.
    void arrive(const std::vector<std::string>& messages, bool end = false) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.insert(m_queue.end(), messages.begin(), messages.end());
            m_ended = m_ended || end;
        }
        m_changed.notify_all();
        std::lock_guard lock(m_handlerMutex);
        if (m_handler)
            m_handler();
    }

    std::vector<std::string> written;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    bool m_ended = false;
    bool m_closed = false;
    bool m_endReported = false;
    std::mutex m_handlerMutex;
    std::function<void()> m_handler;
};

} // namespace velkoria::win

#include "platform/win/pipechannel.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace velkoria::win {

namespace {

// Writes go out in pieces no larger than the pipe's buffer: a non-blocking
// write that does not fit may take nothing at all (Wine takes all or nothing),
// while a piece this size always fits once the browser has read the pipe empty.
constexpr DWORD kWriteChunkBytes = 4096;
constexpr DWORD kReadChunkBytes = 65536;
constexpr DWORD kLongestPauseMs = 16;
constexpr DWORD kCloseWaitMs = 1000;

} // namespace

struct PipeChannel::Shared {
    HANDLE readHandle = nullptr;
    HANDLE thread = nullptr;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::string buffer;
    size_t scanned = 0;       // bytes of buffer known to hold no separator
    bool ended = false;       // the browser closed its end, or reading failed
    bool closed = false;      // the program closed the channel
    bool endReported = false; // a read has returned Closed

    std::mutex handlerMutex;
    std::function<void()> handler;

    void notifyHandler() {
        std::lock_guard lock(handlerMutex);
        if (handler)
            handler();
    }

    static DWORD WINAPI readLoop(void* parameter);
};

DWORD WINAPI PipeChannel::Shared::readLoop(void* parameter) {
    // The thread keeps the shared state alive: it may outlive the channel until
    // the browser has closed its end.
    const auto owned = static_cast<std::shared_ptr<Shared>*>(parameter);
    const std::shared_ptr<Shared> shared = std::move(*owned);
    delete owned;

    std::vector<char> chunk(kReadChunkBytes);
    for (;;) {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->closed)
                break;
        }
        DWORD n = 0;
        // ERROR_BROKEN_PIPE when the browser has ended; any other failure (or a
        // read cancelled by close()) ends the channel just the same.
        const BOOL ok = ::ReadFile(shared->readHandle, chunk.data(), kReadChunkBytes, &n, nullptr);
        bool whole = false;
        {
            std::lock_guard lock(shared->mutex);
            if (!ok) {
                shared->ended = true;
            } else if (n > 0) {
                whole = std::memchr(chunk.data(), 0, n) != nullptr;
                shared->buffer.append(chunk.data(), n);
            }
        }
        if (!ok || whole) {
            shared->changed.notify_all();
            shared->notifyHandler();
        }
        if (!ok)
            break;
    }
    {
        std::lock_guard lock(shared->mutex);
        shared->ended = true;
    }
    shared->changed.notify_all();
    ::CloseHandle(shared->readHandle);
    return 0;
}

PipeChannel::PipeChannel(void* readHandle, void* writeHandle, std::chrono::milliseconds writeLimit)
    : m_shared(std::make_shared<Shared>()), m_writeHandle(writeHandle), m_writeLimit(writeLimit) {
    // A blocking write to a browser that has stopped reading would never
    // return, and anonymous pipes cannot be written with a time limit
    // otherwise: the program's write end does not wait, write() does.
    DWORD mode = PIPE_NOWAIT;
    if (!::SetNamedPipeHandleState(m_writeHandle, &mode, nullptr, nullptr)) {
        // Without it a hung browser would hang every write: no writing at all.
        ::CloseHandle(m_writeHandle);
        m_writeHandle = nullptr;
    }

    m_shared->readHandle = readHandle;
    auto* parameter = new std::shared_ptr<Shared>(m_shared);
    m_shared->thread = ::CreateThread(nullptr, 0, &Shared::readLoop, parameter, 0, nullptr);
    if (!m_shared->thread) {
        delete parameter;
        ::CloseHandle(readHandle);
        m_shared->ended = true;
    }
}

PipeChannel::~PipeChannel() {
    close();
}

bool PipeChannel::write(std::string_view message) {
    if (!m_writeHandle)
        return false;
    std::string data(message);
    data.push_back('\0');
    const Clock::time_point deadline = Clock::now() + m_writeLimit;
    size_t done = 0;
    DWORD pauseMs = 1;
    while (done < data.size()) {
        const DWORD piece = DWORD(std::min<size_t>(data.size() - done, kWriteChunkBytes));
        DWORD n = 0;
        // Fails with ERROR_NO_DATA or ERROR_BROKEN_PIPE once the browser has gone.
        if (!::WriteFile(m_writeHandle, data.data() + done, piece, &n, nullptr))
            break;
        if (n > 0) {
            done += n;
            pauseMs = 1;
            continue;
        }
        // The pipe is full: the browser has not read what came before yet.
        if (Clock::now() >= deadline)
            break;
        ::Sleep(pauseMs);
        pauseMs = std::min(pauseMs * 2, kLongestPauseMs);
    }
    if (done == data.size())
        return true;
    // Half a message may be in the pipe: nothing more can follow it.
    ::CloseHandle(m_writeHandle);
    m_writeHandle = nullptr;
    return false;
}

PipeChannel::ReadResult PipeChannel::read(std::string& message, Clock::time_point deadline) {
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const size_t end = s.buffer.find('\0', s.scanned);
        if (end != std::string::npos) {
            message.assign(s.buffer, 0, end);
            s.buffer.erase(0, end + 1);
            s.scanned = 0;
            return ReadResult::Message;
        }
        s.scanned = s.buffer.size();
        if (s.ended || s.closed) {
            s.endReported = true;
            return ReadResult::Closed;
        }
        if (Clock::now() >= deadline)
            return ReadResult::Timeout;
        if (deadline == Clock::time_point::max())
            s.changed.wait(lock);
        else
            s.changed.wait_until(lock, deadline);
    }
}

bool PipeChannel::readable() const {
    const Shared& s = *m_shared;
    std::lock_guard lock(s.mutex);
    return s.buffer.find('\0', s.scanned) != std::string::npos || ((s.ended || s.closed) && !s.endReported);
}

void PipeChannel::setArrivalHandler(std::function<void()> onArrival) {
    std::lock_guard lock(m_shared->handlerMutex);
    m_shared->handler = std::move(onArrival);
}

void PipeChannel::close() {
    setArrivalHandler({});
    if (m_writeHandle) {
        ::CloseHandle(m_writeHandle);
        m_writeHandle = nullptr;
    }
    HANDLE thread = nullptr;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->closed = true;
        std::swap(thread, m_shared->thread);
    }
    m_shared->changed.notify_all();
    if (thread) {
        // The reader thread ends by itself once the browser has closed its end
        // (it quits when its input ends); cancelling its read saves that wait.
        // It is waited for a moment, so that a program ending right after the
        // close does not tear down the runtime under a thread still finishing.
        ::CancelSynchronousIo(thread);
        ::WaitForSingleObject(thread, kCloseWaitMs);
        ::CloseHandle(thread);
    }
}

} // namespace velkoria::win

#pragma once

// Plain C++ against the Win32 API, without Qt, so that it can be built with
// MinGW-w64 and tested under Wine on machines without Qt for Windows.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velkoria::win {

// The program's ends of the browser's --remote-debugging-io-pipes: NUL-separated
// protocol messages are written to one anonymous pipe and read from the other.
//
// Anonymous pipes have no overlapped I/O, so there is no event to wait on for
// arriving data: a reader thread of the channel's own does blocking reads and
// keeps what arrives in a buffer, which read() takes from with a deadline. The
// arrival handler is called on that reader thread.
class PipeChannel {
public:
    using Clock = std::chrono::steady_clock;
    enum class ReadResult { Message, Timeout, Closed };

    // readHandle: the program's end of the pipe the browser writes to;
    // writeHandle: the program's end of the pipe the browser reads from. Takes
    // ownership of both (HANDLE values). A write that cannot hand its message
    // to the browser within writeLimit fails: the browser has stopped reading.
    PipeChannel(void* readHandle, void* writeHandle, std::chrono::milliseconds writeLimit = std::chrono::seconds(10));
    ~PipeChannel();
    PipeChannel(const PipeChannel&) = delete;
    PipeChannel& operator=(const PipeChannel&) = delete;

    // Sends one message (the NUL separator is added). False when the browser
    // is gone or did not take the message within the write limit; every later
    // write fails at once. Called from one thread at a time.
    bool write(std::string_view message);
    // Takes the next whole message, waiting at most until the deadline
    // (Clock::time_point::max() waits without limit). Closed once the browser
    // has closed its end (it ended) and every whole message has been taken;
    // every waiting and later read then returns Closed at once.
    ReadResult read(std::string& message, Clock::time_point deadline);
    // True when a read would return at once with a message or Closed that has
    // not been reported yet.
    bool readable() const;
    // Called on the reader thread whenever a whole message has arrived or the
    // pipe has ended. Must be quick and must not call back into the channel's
    // read(). An empty function removes the handler; once that returns, the
    // old handler is not called any more.
    void setArrivalHandler(std::function<void()> onArrival);
    // Closes the program's ends: the browser sees its input end and quits.
    // Later reads return Closed and writes fail.
    void close();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    void* m_writeHandle;
    std::chrono::milliseconds m_writeLimit;
};

} // namespace velkoria::win

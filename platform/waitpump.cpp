#include "platform/waitpump.h"

namespace velkoria {

namespace {
WaitPump& pump() {
    static WaitPump instance;
    return instance;
}
bool pumping = false;
} // namespace

void setWaitPump(WaitPump p) {
    pump() = std::move(p);
}

bool haveWaitPump() {
    return static_cast<bool>(pump());
}

void runWaitPump() {
    if (pumping || !pump())
        return;
    pumping = true;
    struct Reset {
        ~Reset() { pumping = false; }
    } reset;
    pump()();
}

} // namespace velkoria

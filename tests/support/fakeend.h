#pragma once

#include "app/programend.h"

namespace velkoria::test {

// Thrown by FakeProgramEnd in place of ending the process, so that a test sees
// the handler stop where the program would have ended.
struct ProgramEnded {
    int exitCode;
};

class FakeProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void endNow(int exitCode) override {
        ended = true;
        code = exitCode;
        throw ProgramEnded{exitCode};
    }
    bool ended = false;
    int code = 0;
};

} // namespace velkoria::test

#pragma once

namespace velkoria {

// The windows are designed in twips (1/1440 inch): 15 twips a pixel at 96 dpi.
// Returns device-independent pixels, which Qt scales with the screen's DPI.
constexpr int twips(int value) {
    return (value + 7) / 15;
}

} // namespace velkoria

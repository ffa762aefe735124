#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace velkoria {

// Where the main window goes, and how large it is, on a screen.
struct WindowFit {
    QPoint position; // the frame's top-left corner
    QSize size;      // the window without its frame (menu bar and client area)
};

// The window of the design's size (wanted, frame not included) at the top-left
// corner of the screen's available area (the screen less its taskbar or
// panels), where it fits. Where it does not (1920 x 1080 at 150 % leaves 688
// pixels of height), the window is cut to the area, frame included, and its
// client area scrolls: it then gets the room of the scroll bar that appears
// beside it, where the area has that room.
WindowFit fitWindow(QSize wanted, QMargins frame, int scrollBarExtent, QRect available);

} // namespace velkoria

#pragma once

#include <QString>

namespace velkoria {

// Modal message boxes: OK button only, no icon, captioned "Velkoria", the text
// shown as it is (never read as markup). The window system's box is
// ui/messagebox.h; tests record them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows the text and returns when the user has dismissed the box.
    virtual void show(const QString& text) = 0;
};

} // namespace velkoria

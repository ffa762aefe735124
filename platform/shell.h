#pragma once

#include <QString>

namespace velkoria {

// The desktop shell's "open this document" operation.
class Shell {
public:
    virtual ~Shell() = default;
    // Asks the desktop to open the file with its associated application.
    // Returns whether the request was accepted; callers may ignore it.
    virtual bool openDocument(const QString& path) = 0;
};

class DesktopShell : public Shell {
public:
    bool openDocument(const QString& path) override;
};

} // namespace velkoria

#pragma once

#include <QString>

namespace velkoria {

// The desktop shell's "open this document" operation.
class Shell {
public:
    virtual ~Shell() = default;
    // Asks the desktop to open the file with its associated application.
    // Returns false when the file is missing, the desktop has no application
    // for its type, or the request was refused.
    virtual bool openDocument(const QString& path) = 0;
};

class DesktopShell : public Shell {
public:
    bool openDocument(const QString& path) override;
};

} // namespace velkoria

#pragma once

#include <QString>

namespace velkoria {

// The main window's quick-access buttons Command1(1) to Command1(7), as the
// table code and the editor dialog update them.
class QuickButtonView {
public:
    virtual ~QuickButtonView() = default;
    // Sets the caption of Command1(n) and shows or hides it.
    virtual void showQuickButton(int n, const QString& caption, bool visible) = 0;
};

} // namespace velkoria

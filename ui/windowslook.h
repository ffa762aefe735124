#pragma once

#include <QColor>
#include <QFont>

class QPushButton;
class QWidget;

namespace velkoria {

// The font the windows were designed with: ＭＳ Ｐゴシック where Windows has it,
// else IPA P Gothic, which has the same metrics, so that captions fit their
// controls as designed; Noto Sans CJK only when neither is installed. Latin
// letters come from the same font.
QFont designFont(qreal points = 9, bool bold = false);

// Where the program's windows follow Windows rather than Qt's styles. For a
// window whose controls are all made: Enter presses the command button that
// has the focus (as Space does; elsewhere Enter does what it did), and every
// label draws its text at its top, keeping its alignment from left to right.
void useWindowsKeysAndLabels(QWidget& window);

// Shows a window (restored if minimized, kept maximized if it was) and brings
// it to the front with the keyboard focus.
void bringToFront(QWidget& window);

// A command button drawn in its own colour, as Windows draws one: raised
// edges, sunken while pressed, and the face in that colour also while the
// button has the focus, which shows as a dark frame round the button and a
// dotted rectangle inside it.
void colourButton(QPushButton* button, const QColor& colour);

} // namespace velkoria

#pragma once

#include "buttons/quickbuttonview.h"
#include "buttons/tables.h"
#include "platform/messages.h"

#include <QComboBox>
#include <QWidget>
#include <array>
#include <functional>

class QAbstractButton;
class QLabel;
class QPushButton;

namespace velkoria {

// An editable drop-down box whose list index means what the editor needs:
// the entry the user picked from the list (in the popup, or with the arrow keys
// or the wheel on the closed box), or -1 as soon as the user types into the text
// or the program sets it. QComboBox's own current index is no use for that: it
// survives typing, and on Enter or on leaving the box it selects an entry whose
// caption equals the typed text. Typed text is never added to the list and
// nothing is completed.
class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownCombo(QWidget* parent = nullptr);

    // The picked entry, -1 when none is.
    int listIndex() const { return m_listIndex; }
    // Sets the text as the program does: no entry is selected afterwards.
    void setProgramText(const QString& text);

private:
    int m_listIndex = -1;
};

// What the user does in the dialog.
enum class EditorAction { Clear, Save, Cancel, Close };

// Hands an action of the dialog to its owner, who runs handler now or once
// the work that runs has ended. row: Clear's row, else -1; button: the button
// pressed (none for the close box), which may show meanwhile that it waits.
using EditorDispatch =
    std::function<void(EditorAction action, int row, QAbstractButton* button, std::function<void()> handler)>;

// `editbuttonfrm`: binds each quick button to a category of the category list,
// or unbinds it. A modeless top-level window without an owner. Save and Cancel
// hide it and it keeps its rows; its close box discards it (hidden at once,
// deleted later), so the owner holds it in a QPointer and creates a new one,
// loaded afresh from the current slots, on the next Edit click.
//
// The dialog writes to `buttons` and `view` on Save; all four references must
// outlive it.
class EditButtonForm : public QWidget {
    Q_OBJECT
public:
    // Runs the load step: the rows show the slots' captions with the category
    // list filled in. Not shown yet; call present().
    EditButtonForm(ButtonInfo& buttons, const CategoryTable& categories, QuickButtonView& view, MessageSink& messages,
                   EditorDispatch dispatch);

    // Closed with its close box: no longer to be shown.
    bool discarded() const { return m_discarded; }

    // Shows the dialog as it was left and brings it to the front. The first
    // showing also moves its top edge to the top of the screen.
    void present();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void formLoad();
    // `Command3_Click`: Clear of row i.
    void clearRow(int i);
    // `Command2_Click`: Cancel.
    void cancel();
    // `Command1_Click`: Save.
    void save();
    void moveToTopOfScreen();

    ButtonInfo& m_buttons;
    const CategoryTable& m_categories;
    QuickButtonView& m_view;
    MessageSink& m_messages;
    EditorDispatch m_dispatch;

    std::array<QLabel*, kButtonSlots> m_labels{};
    std::array<DropDownCombo*, kButtonSlots> m_boxes{};
    std::array<QPushButton*, kButtonSlots> m_clearButtons{};
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;

    bool m_shownOnce = false;
    bool m_discarded = false;
    bool m_topMovePending = false;
};

// The message shown when Save could not write the quick-button file.
QString buttonFileNotSavedMessage(const QString& errorDescription);

} // namespace velkoria

#pragma once

#include <QList>
#include <QString>
#include <array>

namespace velkoria {

class QuickButtonView;

// One row of the quick-button or category table: columns 1 to 3.
struct TableRow {
    QString key;     // the category key the search sends; empty: an unbound quick button
    QString second;  // carried along, never interpreted
    QString caption; // shown on the button, in the editor's lists, in announcements

    bool operator==(const TableRow&) const = default;
};

inline constexpr int kButtonSlots = 7;
inline constexpr int kMaxCategories = 200;

// `buttoninfo`: the quick-button table, slots 1 to 7.
class ButtonInfo {
public:
    // Slot n, 1 <= n <= 7; any other index is a subscript-out-of-range error.
    TableRow& slot(int n);
    const TableRow& slot(int n) const;

private:
    std::array<TableRow, kButtonSlots> m_slots;
};

// `category`: the category table, rows 1 to `categorycount` in file order.
class CategoryTable {
public:
    int categorycount() const { return static_cast<int>(m_rows.size()); }
    // Row r, 1 <= r <= categorycount().
    const TableRow& row(int r) const;
    void append(const TableRow& row) { m_rows.append(row); }

private:
    QList<TableRow> m_rows;
};

// Splits one line of either file into its cells:
//   2 commas: key, second, caption
//   3 commas: the caption is fields 2 and 3 joined
//   4 commas: the caption is fields 2, 3 and 4 joined
//   5 or more: the caption is field 2 alone
// No field is trimmed. A line with fewer than two commas throws RuntimeError
// (subscript out of range) naming the file, the line number and the fault.
TableRow parseTableLine(const QString& line, const QString& fileName, int lineNumber);

// The line `savebuttons` writes for a slot: key "," second " ," caption.
QString formatButtonLine(const TableRow& row);

inline QString buttonFileName() {
    return QStringLiteral("button_info.txt");
}
inline QString categoryFileName() {
    return QStringLiteral("category.txt");
}

// `loadbuttons`: the seven slots from the quick-button file in the program
// folder. A missing file gives seven unbound slots (a fresh install); a file
// with fewer than seven lines throws (input past end of file) naming the file
// and the line. Lines after the seventh are ignored.
ButtonInfo loadbuttons();

struct CategoryLoad {
    CategoryTable table;
    int linesNotLoaded = 0; // lines beyond the table's 200 rows
};

// `loadcategory`: the category file in the program folder, at most 200 rows.
// A missing file gives an empty table.
CategoryLoad loadcategory();

// The start-up notice for a category file that had more lines than the table holds.
QString categoryOverflowNotice(int linesNotLoaded);

// Puts the slots' captions on the main window's quick buttons; a slot with an
// empty key is hidden.
void applyButtons(const ButtonInfo& buttons, QuickButtonView& view);

// `savebuttons`: rewrites the quick-button file from slots 1 to 7, atomically.
// Throws RuntimeError (path/file access) naming the file when the write fails;
// the old file then stays whole.
void savebuttons(const ButtonInfo& buttons);

} // namespace velkoria

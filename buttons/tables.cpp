#include "buttons/tables.h"

#include "buttons/quickbuttonview.h"

#include "platform/errors.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace velkoria {

TableRow& ButtonInfo::slot(int n) {
    if (n < 1 || n > kButtonSlots)
        throw makeError(SubscriptOutOfRange, QStringLiteral("クイックボタン %1 はありません。").arg(n));
    return m_slots[static_cast<size_t>(n - 1)];
}

const TableRow& ButtonInfo::slot(int n) const {
    return const_cast<ButtonInfo*>(this)->slot(n);
}

const TableRow& CategoryTable::row(int r) const {
    if (r < 1 || r > categorycount())
        throw makeError(SubscriptOutOfRange, QStringLiteral("カテゴリ %1 はありません。").arg(r));
    return m_rows.at(r - 1);
}

TableRow parseTableLine(const QString& line, const QString& fileName, int lineNumber) {
    const QStringList fields = line.split(u',');
    const qsizetype commas = fields.size() - 1;
    if (commas < 2)
        throw makeError(SubscriptOutOfRange,
                        QStringLiteral("%1 の %2 行目: カンマが %3 個しかありません。"
                                       "「キー,第2項目,表示名」のようにカンマを 2 個以上含めてください。")
                            .arg(fileName)
                            .arg(lineNumber)
                            .arg(commas));
    TableRow row{fields.at(0), fields.at(1), fields.at(2)};
    if (commas == 3)
        row.caption = fields.at(2) + fields.at(3);
    else if (commas == 4)
        row.caption = fields.at(2) + fields.at(3) + fields.at(4);
    return row;
}

QString formatButtonLine(const TableRow& row) {
    return row.key + u',' + row.second + u" ," + row.caption;
}

ButtonInfo loadbuttons() {
    ButtonInfo buttons;
    const QString path = programFile(buttonFileName());
    if (!QFileInfo::exists(path))
        return buttons;
    const QStringList lines = readTextLines(path);
    for (int n = 1; n <= kButtonSlots; ++n) {
        if (n > lines.size())
            throw makeError(InputPastEndOfFile,
                            QStringLiteral("%1 は 7 行必要ですが、%2 行しかありません（%3 行目がありません）。"
                                           "ボタンを割り当てない行は「, ,」と書いてください。")
                                .arg(buttonFileName())
                                .arg(lines.size())
                                .arg(n));
        buttons.slot(n) = parseTableLine(lines.at(n - 1), buttonFileName(), n);
    }
    return buttons;
}

CategoryLoad loadcategory() {
    CategoryLoad load;
    const QString path = programFile(categoryFileName());
    if (!QFileInfo::exists(path))
        return load;
    const QStringList lines = readTextLines(path);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == kMaxCategories) {
            load.linesNotLoaded = static_cast<int>(lines.size() - kMaxCategories);
            break;
        }
        load.table.append(parseTableLine(lines.at(i), categoryFileName(), static_cast<int>(i + 1)));
    }
    return load;
}

QString categoryOverflowNotice(int linesNotLoaded) {
    return QStringLiteral("%1 には %2 行を超えるカテゴリがあります。先頭の %2 行だけを読み込み、"
                          "残りの %3 行は読み込みませんでした。")
        .arg(categoryFileName())
        .arg(kMaxCategories)
        .arg(linesNotLoaded);
}

void savebuttons(const ButtonInfo& buttons) {
    QStringList lines;
    for (int n = 1; n <= kButtonSlots; ++n)
        lines.append(formatButtonLine(buttons.slot(n)));
    writeTextLines(programFile(buttonFileName()), lines);
}

void applyButtons(const ButtonInfo& buttons, QuickButtonView& view) {
    for (int n = 1; n <= kButtonSlots; ++n)
        view.showQuickButton(n, buttons.slot(n).caption, !buttons.slot(n).key.isEmpty());
}

} // namespace velkoria

#include "app/account.h"

#include "platform/errors.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace velkoria {

Account loadid() {
    const QString path = programFile(accountFileName());
    if (!QFileInfo::exists(path))
        return {};
    const QStringList lines = readTextLines(path);
    if (lines.size() < 2)
        throw makeError(InputPastEndOfFile,
                        QStringLiteral("%1 は 2 行（1 行目に ID、2 行目にパスワード）必要ですが、%2 行しかありません。")
                            .arg(accountFileName())
                            .arg(lines.size()));
    return {lines.at(0), lines.at(1)};
}

void saveid(const Account& account) {
    writeTextLines(programFile(accountFileName()), {account.id, account.password}, FileAccess::OwnerOnly);
}

} // namespace velkoria

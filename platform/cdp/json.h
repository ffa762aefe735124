#pragma once

#include <QJsonObject>
#include <QString>

namespace velkoria::cdp {

// The text of a field of a protocol message; empty when it is missing.
inline QString text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

} // namespace velkoria::cdp

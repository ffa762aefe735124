#include "platform/cdp/address.h"

#include <QUrl>

namespace velkoria::cdp {

QString requestAddress(const QString& address) {
    QUrl url = QUrl(address).adjusted(QUrl::RemoveFragment);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    url.setHost(url.host().toLower());
    return url.toString(QUrl::FullyEncoded);
}

} // namespace velkoria::cdp

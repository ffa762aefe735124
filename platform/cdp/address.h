#pragma once

#include <QString>

namespace velkoria::cdp {

// An address as the browser writes a request's: fully encoded, no fragment
// (a request carries none), "/" for an empty path, the host in lower case.
// Two addresses name the same request when these are equal.
QString requestAddress(const QString& address);

} // namespace velkoria::cdp

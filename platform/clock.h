#pragma once

#include <QDateTime>

namespace velkoria {

// The time of day as the program reads it: the system's, or one a test drives.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace velkoria

#include "app/windowfit.h"

#include <algorithm>

namespace velkoria {

WindowFit fitWindow(QSize wanted, QMargins frame, int scrollBarExtent, QRect available) {
    const QSize room = available.size().shrunkBy(frame);
    QSize size = wanted;
    bool vertical = false;
    if (size.height() > room.height()) {
        vertical = true;
        size.setHeight(room.height());
        size.rwidth() += scrollBarExtent;
    }
    if (size.width() > room.width()) {
        size.setWidth(room.width());
        if (!vertical)
            size.rheight() = std::min(size.height() + scrollBarExtent, room.height());
    }
    return {available.topLeft(), size.boundedTo(room).expandedTo(QSize(1, 1))};
}

} // namespace velkoria

#include "kit/KanvoNotifications.h"

KanvoNotifications* KanvoNotifications::defaultCenter() {
    static KanvoNotifications center;
    return &center;
}

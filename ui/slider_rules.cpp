#include "slider_rules.h"

int32_t ThumbTopForValue(int32_t value, int32_t minimum, int32_t scale)
{
    int64_t top = static_cast<int64_t>(value - minimum) * scale;
    if (top < 0)
        return 0;
    if (top > ThumbTravel)
        return ThumbTravel;
    return static_cast<int32_t>(top);
}

bool ThumbGrabbed(int32_t thumbTop, int32_t y)
{
    return thumbTop < y && y < thumbTop + ThumbHeight;
}

int32_t ThumbDragged(int32_t thumbTop, int32_t anchorY, int32_t y)
{
    int32_t top = thumbTop + (y - anchorY);
    if (top < 0)
        return 0;
    if (top >= ThumbTravel)
        return ThumbTravel;
    return top;
}

ThumbSnap ThumbReleased(int32_t thumbTop, int32_t minimum, int32_t scale)
{
    int32_t steps = (thumbTop + 1) / scale;
    return ThumbSnap{steps + minimum, steps * scale - 1};
}

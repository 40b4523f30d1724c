// The slider's arithmetic: where the thumb stands, when it is grabbed, how a
// drag moves it and what a release makes of it. Thumb positions are the y of
// the thumb's top row in slider pixels.
#pragma once
#include <cstdint>

constexpr int32_t TrackHeight = 45;
constexpr int32_t ThumbHeight = 9;
constexpr int32_t ThumbTravel = TrackHeight - ThumbHeight;  // 36: bottom row on the track's bottom row

// The thumb for a stored value, kept on the track so that it can always be
// grabbed (a value beyond the track's end would otherwise put it out of reach).
int32_t ThumbTopForValue(int32_t value, int32_t minimum, int32_t scale);

// Strictly inside the thumb, rows thumbTop + 1 to thumbTop + 8: its top row
// does not grab.
bool ThumbGrabbed(int32_t thumbTop, int32_t y);

// One drag step: the thumb follows the cursor's travel since `anchorY`, held
// within 0..ThumbTravel.
int32_t ThumbDragged(int32_t thumbTop, int32_t anchorY, int32_t y);

struct ThumbSnap {
    int32_t value;     // the new ParameterTable value
    int32_t thumbTop;  // where the thumb is drawn afterwards
};
// The release: (thumbTop + 1) / scale steps, truncated toward zero, above the
// minimum; the thumb is drawn one row above that step's position.
ThumbSnap ThumbReleased(int32_t thumbTop, int32_t minimum, int32_t scale);

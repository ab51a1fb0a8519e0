// What the Recomposer converter's parts share with its callers: the problems
// that stop a conversion and the bounds of the endless-loop setting.
#pragma once

namespace sonfara::files {

// How often an endless loop plays before the song goes on (the setting
// RcpLoopCount).
inline constexpr int kDefaultEndlessLoops = 2;
inline constexpr int kMaxEndlessLoops = 99;

// Everything that stops a conversion; each has its text in msg::.
enum class RcpProblem {
    kNone,
    kCannotRead,       // the file cannot be read
    kTooBig,           // larger than any Recomposer song
    kTruncated,        // the header or a track block runs past the end
    kUnknownHeader,    // no Recomposer signature, or header values no song has
    kMissingMeasure,   // a same-measure reference to a measure that does not exist
    kSameMeasureLoop,  // same-measure references that lead back to themselves
    kTooManyEvents,    // loops expand beyond the event bound
    kTooLong,          // step times add up beyond the length bound
};

}  // namespace sonfara::files

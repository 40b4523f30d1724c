#include "reference_model.h"
#include <algorithm>
#include <cstdlib>

namespace model {

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        q -= 1;
    return q;
}

int16_t Wrap16(int64_t v)
{
    int64_t low = ((v % 65536) + 65536) % 65536;
    return static_cast<int16_t>(low >= 32768 ? low - 65536 : low);
}

namespace {

bool IsNegative(int16_t v) { return v < 0; }

// First index after `from` whose sample is of the other sign class than
// `like`, or the block size.
size_t NextOtherClass(const Samples& in, size_t from, int16_t like)
{
    size_t i = from + 1;
    while (i < in.size() && IsNegative(in[i]) == IsNegative(like))
        i++;
    return i;
}

// The half-wave effects share this walk: zero runs are copied, and each
// half-wave [start, end) is handed to `shape`, which appends its output.
template <typename Shape>
Samples WalkHalfWaves(const Samples& in, Shape shape)
{
    Samples out;
    size_t i = 0;
    while (i < in.size()) {
        if (in[i] == 0) {
            out.push_back(0);
            i++;
            continue;
        }
        size_t end = NextOtherClass(in, i, in[i]);
        shape(in, i, end, out);
        i = end;
    }
    return out;
}

// Index of the peak: the first largest sample of a positive half-wave, the
// first smallest of a negative one.
size_t PeakIndex(const Samples& in, size_t start, size_t end)
{
    auto first = in.begin() + static_cast<long>(start);
    auto last = in.begin() + static_cast<long>(end);
    auto peak = in[start] > 0 ? std::max_element(first, last) : std::min_element(first, last);
    return static_cast<size_t>(peak - in.begin());
}

}  // namespace

Samples PitchUnlimited(const Samples& in, int factor)
{
    const size_t size = in.size();
    const size_t stride = static_cast<size_t>(factor);
    Samples out;
    size_t i = 0;
    while (i < size) {
        if (in[i] == 0) {
            out.push_back(0);
            i++;
            continue;
        }
        size_t middle = NextOtherClass(in, i, in[i]);
        size_t end = middle < size ? NextOtherClass(in, middle, in[middle]) : size;
        std::vector<size_t> taken;
        for (size_t q = i; q < end; q += stride)
            taken.push_back(q);
        for (int r = 0; r < factor; r++)
            for (size_t q : taken)
                out.push_back(in[q]);
        i += stride * taken.size();
    }
    return out;
}

Samples Pitch(const Samples& in, int factor)
{
    Samples out = PitchUnlimited(in, factor);
    out.resize(in.size());
    return out;
}

Samples Triangle(const Samples& in)
{
    return WalkHalfWaves(in, [](const Samples& s, size_t start, size_t end, Samples& out) {
        size_t at = PeakIndex(s, start, end);
        int64_t d = static_cast<int64_t>(at - start);
        int64_t slope = d == 0 ? 0 : (int64_t{s[at]} * 32768) / d;  // C++ truncates toward zero
        for (size_t k = 0; k < end - start; k++)
            out.push_back(Wrap16(FloorDiv(static_cast<int64_t>(k) * slope, 32768)));
    });
}

Samples Crazy(const Samples& in)
{
    return WalkHalfWaves(in, [](const Samples& s, size_t start, size_t end, Samples& out) {
        int64_t magnitude = std::abs(int64_t{s[PeakIndex(s, start, end)]});
        int64_t gain = magnitude > 32767 ? 0 : 32767 / magnitude;
        for (size_t q = start; q < end; q++)
            out.push_back(static_cast<int16_t>(s[q] * gain));
    });
}

Samples Volume(const Samples& in, int gain)
{
    Samples out;
    for (int16_t v : in)
        out.push_back(static_cast<int16_t>(std::clamp<int64_t>(FloorDiv(int64_t{v} * gain, 8), -32768, 32767)));
    return out;
}

Samples Reverse(const Samples& in)
{
    return Samples(in.rbegin(), in.rend());
}

Samples Deeper(const Samples& in)
{
    Samples out;
    for (size_t i = 0; i < in.size() / 2; i++) {
        out.push_back(in[i]);
        out.push_back(in[i] < 0 ? -1 : 0);
    }
    return out;
}

Samples AM(const Samples& in, const Samples& carrier, size_t* next)
{
    Samples out;
    for (int16_t v : in) {
        int64_t m = carrier[*next];
        *next += 1;
        out.push_back(Wrap16(FloorDiv(m * FloorDiv(v, 32), 1024)));
        if (*next == carrier.size() - 1)
            *next = 0;
    }
    return out;
}

}  // namespace model

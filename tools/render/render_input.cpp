#include "render_input.h"
#include <cmath>

constexpr int Rate = 22050;
constexpr sf_count_t ChunkFrames = 65536;

bool OpenInput(const char* path, RenderInput* input, std::string* error)
{
    *input = RenderInput{};
    input->file = sf_open(path, SFM_READ, &input->info);
    if (!input->file) {
        *error = sf_strerror(nullptr);
        return false;
    }
    const SF_INFO& info = input->info;
    input->direct = info.channels == 1 && info.samplerate == Rate &&
                    (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    if (!input->direct && info.samplerate != Rate) {
        soxr_error_t failure = nullptr;
        input->resampler = soxr_create(info.samplerate, Rate, 1, &failure, nullptr, nullptr, nullptr);
        if (failure) {
            *error = std::string("cannot resample from ") + std::to_string(info.samplerate) + " Hz: " + failure;
            CloseInput(input);
            return false;
        }
    }
    return true;
}

// Full scale is 1.0 = 32768, as libsndfile scales 16-bit samples, so that
// 16-bit sound of another form comes back exactly; beyond it, clipped.
static int16_t ToSample(float value)
{
    float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(scaled < -32768.0f ? -32768 : scaled > 32767.0f ? 32767 : scaled);
}

// Reads, mixes down and resamples the next stretch of the file into
// input->ready; at the end of the file flushes the resampler.
static bool Convert(RenderInput* input, std::string* error)
{
    int channels = input->info.channels;
    input->frames.resize(static_cast<size_t>(ChunkFrames * channels));
    sf_count_t got = sf_readf_float(input->file, input->frames.data(), ChunkFrames);
    if (sf_error(input->file) != SF_ERR_NO_ERROR) {
        *error = sf_strerror(input->file);
        return false;
    }
    input->mono.resize(static_cast<size_t>(got));
    for (sf_count_t f = 0; f < got; f++) {
        float sum = 0;
        for (int c = 0; c < channels; c++)
            sum += input->frames[static_cast<size_t>(f * channels + c)];
        input->mono[static_cast<size_t>(f)] = sum / static_cast<float>(channels);
    }
    input->readyFrom = 0;
    if (!input->resampler) {
        input->ready.swap(input->mono);
        input->ended = got == 0;
        return true;
    }
    // Room for this stretch at the new rate plus what the filter still
    // holds; grown if the resampler asks for more.
    size_t room = static_cast<size_t>(static_cast<double>(got) * Rate / input->info.samplerate) + 4096;
    input->ready.resize(room);
    size_t consumed = 0, made = 0;
    for (;;) {
        size_t used = 0, produced = 0;
        const float* in = got > 0 ? input->mono.data() + consumed : nullptr;
        soxr_error_t failure = soxr_process(input->resampler, in, input->mono.size() - consumed, &used,
                                            input->ready.data() + made, input->ready.size() - made, &produced);
        if (failure) {
            *error = std::string("resampling failed: ") + failure;
            return false;
        }
        consumed += used;
        made += produced;
        if (made < input->ready.size() && consumed == input->mono.size())
            break;
        input->ready.resize(input->ready.size() + 4096);
    }
    input->ready.resize(made);
    // End of input: keep draining the filter until it gives nothing more.
    input->ended = got == 0 && made == 0;
    return true;
}

long ReadInput(RenderInput* input, int16_t* samples, long count, std::string* error)
{
    if (input->direct) {
        long total = 0;
        while (total < count) {
            sf_count_t got = sf_read_short(input->file, samples + total, count - total);
            if (sf_error(input->file) != SF_ERR_NO_ERROR) {
                *error = sf_strerror(input->file);
                return -1;
            }
            if (got == 0)
                break;
            total += static_cast<long>(got);
        }
        return total;
    }
    long total = 0;
    while (total < count) {
        if (input->readyFrom == input->ready.size()) {
            if (input->ended)
                break;
            if (!Convert(input, error))
                return -1;
            continue;
        }
        samples[total++] = ToSample(input->ready[input->readyFrom++]);
    }
    return total;
}

void CloseInput(RenderInput* input)
{
    if (input->resampler)
        soxr_delete(input->resampler);
    if (input->file)
        sf_close(input->file);
    input->resampler = nullptr;
    input->file = nullptr;
}

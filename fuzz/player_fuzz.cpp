// Fuzz target: the player on arbitrary module bytes from memory. The player's own calls
// load, query, stop and free; a decoder opened the way the player opens one renders odd
// chunks, seeks by order and reports the position, since the player's calls do neither.
#include "player.h"

#include <libopenmpt/libopenmpt.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

constexpr int32_t rate = 44100;

// The load flags, chosen by the input's length so that every combination is covered and
// an input always replays the same way; 0x105, all three, is the demo's.
const uint32_t flagSets[] = {playerRamp | playerLoop | playerInterpolate, 0, playerLoop,
                             playerRamp | playerInterpolate};

// Odd chunk lengths in frames, the longest a little over the player's 1024-frame buffer.
const size_t chunkFrames[] = {1, 13, 511, 1024, 1031};
constexpr size_t longestChunk = 1031;

[[noreturn]] void harnessFailure(const char *what, const char *why)
{
    std::fprintf(stderr, "%s: %s\n", what, why);
    std::abort();
}

// Opens the decoder with the player's initial ctl and render settings for `flags`; null
// for whatever the player's load refuses.
openmpt_module *openLikeThePlayer(const uint8_t *data, size_t size, uint32_t flags)
{
    const openmpt_module_initial_ctl ctls[] = {{"load.skip_plugins", "1"}, {nullptr, nullptr}};
    openmpt_module *module = openmpt_module_create_from_memory2(
        data, size, openmpt_log_func_silent, nullptr, nullptr, nullptr, nullptr, nullptr, ctls);
    if (module == nullptr)
        return nullptr;
    const bool settled =
        openmpt_module_set_repeat_count(module, (flags & playerLoop) ? -1 : 0) &&
        openmpt_module_set_render_param(module, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH,
                                        (flags & playerInterpolate) ? 0 : 1) &&
        openmpt_module_set_render_param(module, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                        (flags & playerRamp) ? -1 : 0);
    if (!settled)
        harnessFailure("decoder settings", "refused for a module that loaded");
    // The player refuses a module the decoder finds to last no time.
    if (!(openmpt_module_get_duration_seconds(module) > 0)) {
        openmpt_module_destroy(module);
        return nullptr;
    }
    return module;
}

// Renders every chunk length once, asking for the position after each as the player does.
void renderChunks(openmpt_module *module, float *buffer)
{
    for (size_t frames : chunkFrames) {
        const size_t rendered =
            openmpt_module_read_interleaved_float_stereo(module, rate, frames, buffer);
        if (rendered > frames)
            harnessFailure("render", "more frames than asked for");
        (void)openmpt_module_get_current_order(module);
        (void)openmpt_module_get_current_row(module);
        (void)openmpt_module_get_position_seconds(module);
    }
}

void playLikeThePlayer(openmpt_module *module)
{
    static float buffer[longestChunk * 2];
    renderChunks(module, buffer);
    const int32_t orderCount = openmpt_module_get_num_orders(module);
    // The middle and last orders, one past the end, the demo's quit cue and the start.
    const int32_t seekOrders[] = {orderCount / 2, orderCount - 1, orderCount, 17, 0};
    for (int32_t order : seekOrders) {
        (void)openmpt_module_set_position_order_row(module, order, 0);
        renderChunks(module, buffer);
    }
}

} // namespace

// One player for the whole run, on SDL's dummy output so that no sound device is needed.
// The device is never started, so its thread never touches a module: runs replay exactly.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (setenv("SDL_AUDIODRIVER", "dummy", 1) != 0)
        harnessFailure("setenv SDL_AUDIODRIVER", "failed");
    if (!BASSMOD_Init(-1, rate, 0))
        harnessFailure("BASSMOD_Init", playerErrorText());
    if (std::atexit([] { BASSMOD_Free(); }) != 0)
        harnessFailure("atexit", "failed");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint32_t flags = flagSets[size % std::size(flagSets)];
    const uint32_t length = static_cast<uint32_t>(size);
    const bool loaded = BASSMOD_MusicLoad(1, data, 0, length, flags) != 0;
    if (loaded) {
        if (BASSMOD_MusicGetPosition() != 0)
            harnessFailure("BASSMOD_MusicGetPosition", "not 0 after a load");
        if (!BASSMOD_MusicStop())
            harnessFailure("BASSMOD_MusicStop", playerErrorText());
    }
    if (!BASSMOD_MusicFree())
        harnessFailure("BASSMOD_MusicFree", playerErrorText());

    // The same bytes, ctl and settings: the decoder must agree with the player's load.
    openmpt_module *module = openLikeThePlayer(data, size, flags);
    if ((module != nullptr) != loaded)
        harnessFailure("load", loaded ? "the player loaded what the decoder refused"
                                      : "the player refused what the decoder loaded");
    if (module != nullptr) {
        playLikeThePlayer(module);
        openmpt_module_destroy(module);
    }
    return 0;
}

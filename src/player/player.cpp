// The module player: libopenmpt renders the module on SDL's audio callback thread into
// an SDL2 output device; the order and row being heard are published to the caller.
#include "player.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Frames per device buffer: 1024 frames at 44100 Hz are 23 ms.
constexpr Uint16 bufferFrames = 1024;
// Each buffer is rendered in slices, and the position at each slice's start is kept, so
// that the position reported follows the ear within a slice (128 frames, 3 ms) rather
// than a buffer, and an order shorter than a buffer is still reported while it sounds.
constexpr size_t slicesPerBuffer = 8;
constexpr int channelCount = 2;
// The range of output rates libopenmpt renders at.
constexpr uint32_t lowestRate = 8000;
constexpr uint32_t highestRate = 192000;

struct ModuleDeleter {
    void operator()(openmpt_module *module) const { openmpt_module_destroy(module); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleDeleter>;

struct OpenmptStringDeleter {
    void operator()(const char *text) const { openmpt_free_string(text); }
};
using OpenmptString = std::unique_ptr<const char, OpenmptStringDeleter>;

struct FileCloser {
    void operator()(FILE *file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The buffer heard last, as the caller's thread reads it without a lock: when it began
// to sound, how long its slices are and the position at each slice's start. Only the
// callback writes it while the device runs; `sequence` is odd while a write is under way,
// and a reader that saw it change reads again.
struct HeardBuffer {
    std::atomic<uint32_t> sequence{0};
    std::atomic<int64_t> startNs{0};      // steady clock
    std::atomic<uint32_t> sliceFrames{1};
    std::atomic<uint32_t> sliceCount{0};  // 0: nothing heard since the last play or load
    std::array<std::atomic<uint32_t>, slicesPerBuffer> positions{}; // order | row << 16
};

// What the audio callback works on. The caller's thread changes the plain fields only
// while it holds the device lock, so the callback sees them unchanged for a whole buffer.
struct Playback {
    openmpt_module *module = nullptr; // owned by Player::module
    bool playing = false;
    bool restart = false;             // seek to the start before the next buffer
    bool loop = false;                // the module starts over at its end
    double endSeconds = 0;            // without loop: where the module ends and its fadeout begins
    int32_t rate = 0;                 // frames per second
    HeardBuffer heard;
};

int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Publishes a buffer of `count` slice positions that begins to sound now.
void publishHeard(HeardBuffer &heard, const uint32_t *positions, uint32_t count,
                  uint32_t sliceFrames)
{
    heard.sequence.fetch_add(1);
    heard.startNs.store(steadyNowNs());
    heard.sliceFrames.store(sliceFrames);
    for (uint32_t i = 0; i < count; ++i) {
        heard.positions[i].store(positions[i]);
    }
    heard.sliceCount.store(count);
    heard.sequence.fetch_add(1);
}

// The position of the slice sounding now: the last one once the buffer has been heard.
uint32_t readHeard(const HeardBuffer &heard, int32_t rate)
{
    for (;;) {
        const uint32_t before = heard.sequence.load();
        if ((before & 1) == 0) {
            const uint32_t count = heard.sliceCount.load();
            // Past a second the buffer is long heard; the bound also keeps the product small.
            const int64_t sinceStartNs =
                std::clamp<int64_t>(steadyNowNs() - heard.startNs.load(), 0, 1000000000);
            const int64_t framesHeard = sinceStartNs * rate / 1000000000;
            const int64_t slice = std::min<int64_t>(framesHeard / heard.sliceFrames.load(),
                                                    int64_t(count) - 1);
            const uint32_t position = count == 0 ? 0 : heard.positions[size_t(slice)].load();
            if (heard.sequence.load() == before) {
                return position;
            }
        }
        std::this_thread::yield(); // the callback is between its few stores
    }
}

// Holds the SDL audio subsystem from a successful SDL_InitSubSystem until destroyed.
struct AudioSubsystem {
    AudioSubsystem() = default;
    AudioSubsystem(const AudioSubsystem &) = delete;
    AudioSubsystem &operator=(const AudioSubsystem &) = delete;
    ~AudioSubsystem()
    {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        // The player may be SDL's only user; then nothing of SDL stays behind.
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
            SDL_Quit();
        }
    }
};

struct AudioDevice {
    SDL_AudioDeviceID id = 0;
    AudioDevice() = default;
    AudioDevice(const AudioDevice &) = delete;
    AudioDevice &operator=(const AudioDevice &) = delete;
    ~AudioDevice()
    {
        if (id != 0) {
            SDL_CloseAudioDevice(id); // waits for the callback thread to end
        }
    }
};

// Holds the device lock for a scope; never pause or close the device inside one.
struct DeviceLock {
    explicit DeviceLock(SDL_AudioDeviceID device) : id(device) { SDL_LockAudioDevice(id); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;
    ~DeviceLock() { SDL_UnlockAudioDevice(id); }
    SDL_AudioDeviceID id;
};

// Members are released in reverse order: the device first (its thread stops), then
// the module it rendered, then the audio subsystem.
struct Player {
    AudioSubsystem audio;
    Playback playback;
    ModulePtr module;
    AudioDevice device;
};

std::unique_ptr<Player> player;
std::string lastError;

int fail(std::string reason)
{
    lastError = std::move(reason);
    return 0;
}

int notStarted(const char *call)
{
    return fail(std::string(call) + ": the player is not started");
}

uint32_t packPosition(int32_t order, int32_t row)
{
    const auto clamp16 = [](int32_t value) {
        return static_cast<uint32_t>(value < 0 ? 0 : value > 0xFFFF ? 0xFFFF : value);
    };
    return clamp16(order) | clamp16(row) << 16;
}

// SDL's audio thread: renders one buffer of float stereo, silence when nothing plays or
// the module has ended, and publishes the position at each slice's start. Past the end of
// a module that does not loop, the decoder renders a short fadeout while it reports
// order 0 row 0; such slices publish nothing, so the last position heard stays.
void renderAudio(void *user, Uint8 *stream, int byteCount)
{
    Playback &playback = *static_cast<Playback *>(user);
    float *out = reinterpret_cast<float *>(stream);
    const size_t frames = static_cast<size_t>(byteCount) / (channelCount * sizeof(float));
    const size_t sliceFrames = std::max<size_t>(1, (frames + slicesPerBuffer - 1) / slicesPerBuffer);
    uint32_t positions[slicesPerBuffer];
    uint32_t heardSlices = 0;
    size_t rendered = 0;
    if (playback.module != nullptr && playback.playing) {
        if (playback.restart) {
            // Order 0 row 0 always exists; the seconds it returns are of no use here.
            openmpt_module_set_position_order_row(playback.module, 0, 0);
            playback.restart = false;
        }
        // A slice that comes back short is the module's end: the rest stays silent.
        for (size_t slice = 0; slice < slicesPerBuffer && rendered == slice * sliceFrames &&
                               rendered < frames;
             ++slice) {
            const uint32_t start = packPosition(openmpt_module_get_current_order(playback.module),
                                                openmpt_module_get_current_row(playback.module));
            const bool pastEnd = !playback.loop && openmpt_module_get_position_seconds(
                                                       playback.module) >= playback.endSeconds;
            const size_t got = openmpt_module_read_interleaved_float_stereo(
                playback.module, playback.rate, std::min(sliceFrames, frames - rendered),
                out + rendered * channelCount);
            if (got > 0 && !pastEnd) {
                positions[heardSlices++] = start;
            }
            rendered += got;
        }
    }
    std::fill(out + rendered * channelCount, out + frames * channelCount, 0.0f);
    if (heardSlices > 0) {
        publishHeard(playback.heard, positions, heardSlices, uint32_t(sliceFrames));
    }
}

// Collects the decoder's messages while a module loads; the last one explains a failure.
struct LoadLog {
    std::string last;
};

void keepLogMessage(const char *message, void *user)
{
    if (message != nullptr) {
        static_cast<LoadLog *>(user)->last = message;
    }
}

struct Bytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
};

// Reads `length` bytes (0: all that follow) from `offset` of the named file. The file is
// read here rather than by the decoder's file loader because the window of offset and
// length is ours to honour.
bool readFileWindow(const char *name, uint32_t offset, uint32_t length, Bytes &bytes)
{
    const std::string what = std::string("cannot read ") + name + ": ";
    // Opened without blocking, so that a named pipe with no writer is refused below as
    // not a regular file instead of holding the caller until a writer comes.
    const int descriptor = open(name, O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) {
        fail(what + strerror(errno));
        return false;
    }
    FilePtr file(fdopen(descriptor, "rb"));
    if (!file) {
        fail(what + strerror(errno));
        close(descriptor);
        return false;
    }
    struct stat status {};
    if (fstat(fileno(file.get()), &status) != 0) {
        fail(what + strerror(errno));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        fail(what + "not a regular file");
        return false;
    }
    const off_t fileSize = status.st_size;
    if (fileSize == 0) {
        fail(what + "the file is empty");
        return false;
    }
    const auto size = static_cast<unsigned long>(fileSize);
    if (offset >= size) {
        fail(what + "offset " + std::to_string(offset) + " is at or past its end (" +
             std::to_string(size) + " bytes)");
        return false;
    }
    const size_t wanted = length != 0 ? length : size - offset;
    if (wanted > size - offset) {
        fail(what + "it holds " + std::to_string(size - offset) + " bytes from offset " +
             std::to_string(offset) + ", not " + std::to_string(wanted));
        return false;
    }
    if (fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        fail(what + strerror(errno));
        return false;
    }
    bytes.data.reset(new (std::nothrow) char[wanted]);
    if (!bytes.data) {
        fail(what + "out of memory for " + std::to_string(wanted) + " bytes");
        return false;
    }
    bytes.size = fread(bytes.data.get(), 1, wanted, file.get());
    if (bytes.size != wanted) {
        fail(what + (ferror(file.get()) ? strerror(errno) : "the file ended early"));
        return false;
    }
    return true;
}

// Decodes a module from memory and sets it up for the load flags; null on failure.
ModulePtr decodeModule(const void *data, size_t size, uint32_t flags, const std::string &source)
{
    // Plugins are never needed by our modules, and skipping them avoids decoder paths
    // known to misread malformed files.
    const openmpt_module_initial_ctl ctls[] = {{"load.skip_plugins", "1"}, {nullptr, nullptr}};
    LoadLog log;
    int error = OPENMPT_ERROR_OK;
    const char *errorMessage = nullptr;
    ModulePtr module(openmpt_module_create_from_memory2(data, size, keepLogMessage, &log, nullptr,
                                                        nullptr, &error, &errorMessage, ctls));
    const OpenmptString errorText(errorMessage);
    if (!module) {
        std::string why = errorText ? errorText.get() : log.last;
        if (why.empty()) {
            why = "error " + std::to_string(error);
        }
        fail("cannot decode " + source + ": " + why);
        return nullptr;
    }
    // Later messages come from the audio thread, where nobody reads them.
    openmpt_module_set_log_func(module.get(), openmpt_log_func_silent, nullptr);
    const bool loop = (flags & playerLoop) != 0;
    const bool interpolate = (flags & playerInterpolate) != 0;
    const bool ramp = (flags & playerRamp) != 0;
    if (!openmpt_module_set_repeat_count(module.get(), loop ? -1 : 0)) {
        fail("cannot set the repeat count of " + source);
        return nullptr;
    }
    // Filter length 0 is the decoder's default interpolation, 1 none.
    if (!openmpt_module_set_render_param(module.get(),
                                         OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH,
                                         interpolate ? 0 : 1)) {
        fail("cannot set the interpolation of " + source);
        return nullptr;
    }
    // Ramping strength -1 is the decoder's default, 0 none.
    if (!openmpt_module_set_render_param(module.get(),
                                         OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                         ramp ? -1 : 0)) {
        fail("cannot set the volume ramping of " + source);
        return nullptr;
    }
    return module;
}

} // namespace

int BASSMOD_Init(int device, uint32_t rate, uint32_t)
{
    if (player) {
        return fail("BASSMOD_Init: the player is already started");
    }
    if (rate < lowestRate || rate > highestRate) {
        return fail("BASSMOD_Init: rate " + std::to_string(rate) + " Hz is outside " +
                    std::to_string(lowestRate) + ".." + std::to_string(highestRate));
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return fail(std::string("cannot start SDL audio: ") + SDL_GetError());
    }
    auto started = std::make_unique<Player>();
    const char *deviceName = nullptr; // SDL's default output
    if (device != -1) {
        const int count = SDL_GetNumAudioDevices(0);
        if (device < 0 || device >= count) {
            return fail("no output device " + std::to_string(device) + ": SDL lists " +
                        std::to_string(count < 0 ? 0 : count));
        }
        deviceName = SDL_GetAudioDeviceName(device, 0);
        if (deviceName == nullptr) {
            return fail("cannot name output device " + std::to_string(device) + ": " +
                        SDL_GetError());
        }
    }
    started->playback.rate = static_cast<int32_t>(rate);
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(rate);
    wanted.format = AUDIO_F32SYS;
    wanted.channels = channelCount;
    wanted.samples = bufferFrames;
    wanted.callback = renderAudio;
    wanted.userdata = &started->playback;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the device takes.
    started->device.id = SDL_OpenAudioDevice(deviceName, 0, &wanted, &obtained, 0);
    if (started->device.id == 0) {
        return fail(std::string("cannot open output device ") +
                    (deviceName != nullptr ? deviceName : "(default)") + ": " + SDL_GetError());
    }
    player = std::move(started);
    return 1;
}

int BASSMOD_MusicLoad(int mem, const void *file, uint32_t offset, uint32_t length,
                      uint32_t flags)
{
    if (!player) {
        return notStarted("BASSMOD_MusicLoad");
    }
    if (file == nullptr) {
        return fail(mem ? "cannot load a module from memory at a null address"
                        : "cannot load a module: no file name");
    }
    ModulePtr module;
    if (mem) {
        if (length == 0) {
            return fail("cannot load a module from memory: no length given");
        }
        module = decodeModule(static_cast<const char *>(file) + offset, length, flags,
                              "the module in memory");
    } else {
        const char *name = static_cast<const char *>(file);
        Bytes bytes;
        if (!readFileWindow(name, offset, length, bytes)) {
            return 0;
        }
        module = decodeModule(bytes.data.get(), bytes.size, flags, name);
    }
    if (!module) {
        return 0;
    }
    // The new module replaces the old one, stopped; the old one is released outside the lock.
    const bool loop = (flags & playerLoop) != 0;
    const double endSeconds = openmpt_module_get_duration_seconds(module.get());
    if (!(endSeconds > 0)) {
        return fail("cannot load the module: the decoder finds it lasts no time");
    }
    {
        DeviceLock lock(player->device.id);
        player->playback.module = module.get();
        player->playback.playing = false;
        player->playback.restart = false;
        player->playback.loop = loop;
        player->playback.endSeconds = endSeconds;
        publishHeard(player->playback.heard, nullptr, 0, 1);
    }
    player->module.swap(module);
    return 1;
}

int BASSMOD_MusicPlay()
{
    if (!player) {
        return notStarted("BASSMOD_MusicPlay");
    }
    if (!player->module) {
        return fail("BASSMOD_MusicPlay: no module is loaded");
    }
    {
        DeviceLock lock(player->device.id);
        player->playback.restart = true;
        player->playback.playing = true;
        publishHeard(player->playback.heard, nullptr, 0, 1);
    }
    SDL_PauseAudioDevice(player->device.id, 0);
    return 1;
}

uint32_t BASSMOD_MusicGetPosition()
{
    if (!player) {
        notStarted("BASSMOD_MusicGetPosition");
        return 0;
    }
    return readHeard(player->playback.heard, player->playback.rate);
}

int BASSMOD_MusicStop()
{
    if (!player) {
        return notStarted("BASSMOD_MusicStop");
    }
    {
        // The position heard at the stop stays, rather than running on through the
        // rest of the last buffer's slices.
        DeviceLock lock(player->device.id);
        player->playback.playing = false;
        const uint32_t heardNow = readHeard(player->playback.heard, player->playback.rate);
        publishHeard(player->playback.heard, &heardNow, 1, 1);
    }
    SDL_PauseAudioDevice(player->device.id, 1);
    return 1;
}

int BASSMOD_MusicFree()
{
    if (!player) {
        return notStarted("BASSMOD_MusicFree");
    }
    {
        DeviceLock lock(player->device.id);
        player->playback.module = nullptr;
        player->playback.playing = false;
        publishHeard(player->playback.heard, nullptr, 0, 1);
    }
    player->module.reset();
    return 1;
}

int BASSMOD_Free()
{
    if (!player) {
        return notStarted("BASSMOD_Free");
    }
    player.reset();
    return 1;
}

const char *playerErrorText()
{
    return lastError.c_str();
}

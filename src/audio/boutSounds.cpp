#include "audio.h"

#include <SDL.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <span>

namespace {

constexpr int SAMPLE_RATE = 44100;
// Frames SDL hands the driver at a time: about 12 ms between the queue and the speaker.
constexpr Uint16 DEVICE_BUFFER_FRAMES = 512;
// The loudest sample of each sound, as a share of full scale: loud, with room to spare.
constexpr float PEAK_LEVEL = 0.7f;
constexpr double TWO_PI = 2.0 * std::numbers::pi;

// A square wave and a sawtooth a few hertz apart beat against each other: the rasp of a
// scoring apparatus, held for a second.
constexpr std::size_t BUZZER_SAMPLES = SAMPLE_RATE;
constexpr double BUZZER_SQUARE_HZ = 392.0;
constexpr double BUZZER_SAWTOOTH_HZ = 398.0;
constexpr double BUZZER_SQUARE_SHARE = 0.55;
constexpr double BUZZER_ATTACK_SECONDS = 0.01;
constexpr double BUZZER_RELEASE_SECONDS = 0.06;

// Steel struck on steel: partials that are no multiples of each other, the higher ones dying
// away first, over a burst of noise that is the strike itself.
struct Partial {
    double hertz;
    double amplitude;
    double decaySeconds;
};
constexpr Partial CLASH_PARTIALS[] = {
    {1283.0, 0.45, 0.110}, {2061.0, 0.80, 0.085}, {3157.0, 0.60, 0.065}, {4229.0, 0.50, 0.050},
    {5531.0, 0.35, 0.038}, {7043.0, 0.25, 0.028}, {8867.0, 0.20, 0.020},
};
constexpr std::size_t CLASH_SAMPLES = SAMPLE_RATE * 3 / 10;
constexpr double CLASH_NOISE_AMPLITUDE = 0.9;
constexpr double CLASH_NOISE_DECAY_SECONDS = 0.006;
constexpr std::uint32_t CLASH_NOISE_SEED = 0x2545F491u;
constexpr double CLASH_ATTACK_SECONDS = 0.0005;
constexpr double CLASH_RELEASE_SECONDS = 0.03;

std::array<float, BUZZER_SAMPLES> buzzer;
std::array<float, CLASH_SAMPLES> clash;

// The one audio output, 0 while none is open. It is left open for the system to close as the
// process ends: closing it waits for SDL's audio thread, which on a busy machine holds up the
// end of the game by a good part of a second after the player closes the window.
SDL_AudioDeviceID outputDevice = 0;

double secondsAt(std::size_t sample) {
    return static_cast<double>(sample) / SAMPLE_RATE;
}

// Rises over attack and falls over release, so that neither end of a sound clicks.
double fade(double seconds, double duration, double attack, double release) {
    return std::min({1.0, seconds / attack, (duration - seconds) / release});
}

// Rounds off the jump a naive square or sawtooth makes once a period, which would otherwise
// fold back below the tone as hiss. phase and step are in periods.
double edgeCorrection(double phase, double step) {
    if (phase < step) {
        const double t = phase / step;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - step) {
        const double t = (phase - 1.0) / step;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

void scaleToPeak(std::span<float> samples) {
    float loudest = 0.0f;
    for (float sample : samples) {
        loudest = std::max(loudest, std::abs(sample));
    }
    for (float& sample : samples) {
        sample *= PEAK_LEVEL / loudest;
    }
}

void synthesiseBuzzer() {
    const double squareStep = BUZZER_SQUARE_HZ / SAMPLE_RATE;
    const double sawtoothStep = BUZZER_SAWTOOTH_HZ / SAMPLE_RATE;
    const double duration = secondsAt(buzzer.size());
    double squarePhase = 0.0;
    double sawtoothPhase = 0.0;
    for (std::size_t index = 0; index < buzzer.size(); ++index) {
        const double square = (squarePhase < 0.5 ? 1.0 : -1.0) +
                              edgeCorrection(squarePhase, squareStep) -
                              edgeCorrection(std::fmod(squarePhase + 0.5, 1.0), squareStep);
        const double sawtooth =
            2.0 * sawtoothPhase - 1.0 - edgeCorrection(sawtoothPhase, sawtoothStep);
        const double seconds = secondsAt(index);
        buzzer[index] = static_cast<float>(
            fade(seconds, duration, BUZZER_ATTACK_SECONDS, BUZZER_RELEASE_SECONDS) *
            (BUZZER_SQUARE_SHARE * square + (1.0 - BUZZER_SQUARE_SHARE) * sawtooth));
        squarePhase = std::fmod(squarePhase + squareStep, 1.0);
        sawtoothPhase = std::fmod(sawtoothPhase + sawtoothStep, 1.0);
    }
    scaleToPeak(buzzer);
}

// Noise from a seed of our own (xorshift), evenly spread over -1 to 1: the same strike every run.
double nextNoise(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return 2.0 * static_cast<double>(state) / UINT32_MAX - 1.0;
}

void synthesiseClash() {
    const double duration = secondsAt(clash.size());
    std::uint32_t noiseState = CLASH_NOISE_SEED;
    double previousNoise = 0.0;
    for (std::size_t index = 0; index < clash.size(); ++index) {
        const double seconds = secondsAt(index);
        double sample = 0.0;
        for (const Partial& partial : CLASH_PARTIALS) {
            sample += partial.amplitude * std::exp(-seconds / partial.decaySeconds) *
                      std::sin(TWO_PI * partial.hertz * seconds);
        }
        // The noise's step from one sample to the next: bright, a strike and not a thud.
        const double noise = nextNoise(noiseState);
        sample += CLASH_NOISE_AMPLITUDE * std::exp(-seconds / CLASH_NOISE_DECAY_SECONDS) *
                  (noise - previousNoise) / 2.0;
        previousNoise = noise;
        clash[index] = static_cast<float>(
            fade(seconds, duration, CLASH_ATTACK_SECONDS, CLASH_RELEASE_SECONDS) * sample);
    }
    scaleToPeak(clash);
}

void ignoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                     const char* /*format*/, ...) {}

// With no sound card, ALSA's library writes a dozen lines of its own to standard error while
// SDL tries it; the game says so in one line instead. The library stays loaded, as SDL keeps it.
void quietenAlsa() {
    void* alsa = SDL_LoadObject("libasound.so.2");
    if (alsa == nullptr) {
        return;
    }
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    const auto setErrorHandler = reinterpret_cast<int (*)(ErrorHandler)>(
        SDL_LoadFunction(alsa, "snd_lib_error_set_handler"));
    if (setErrorHandler != nullptr) {
        setErrorHandler(ignoreAlsaError);
    }
}

void reportSilence() {
    std::fprintf(stderr, "The Lamevo plays without sound: %s.\n", SDL_GetError());
}

} // namespace

bool openBoutSounds() {
    // Without this SDL would take over Ctrl-C and the game would no longer stop on it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "The Lamevo");
    quietenAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        reportSilence();
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = SAMPLE_RATE;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 1;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    outputDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (outputDevice == 0) {
        reportSilence();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    synthesiseBuzzer();
    synthesiseClash();
    // Playing from here on: silence until the first sound is queued.
    SDL_PauseAudioDevice(outputDevice, 0);
    return true;
}

void playBoutSound(BoutSound sound) {
    if (outputDevice == 0) {
        return;
    }
    const std::span<const float> samples =
        sound == BoutSound::buzzer ? std::span<const float>(buzzer) : std::span<const float>(clash);
    SDL_ClearQueuedAudio(outputDevice);
    SDL_QueueAudio(outputDevice, samples.data(), static_cast<Uint32>(samples.size_bytes()));
}

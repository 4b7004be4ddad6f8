// How much the window costs: a frame of the bout against a frame that only clears and swaps,
// a pose change against uploading the same sprite alone, and the memory and texture names that
// a thousand pose changes leave behind. It opens the game's own window (1600 x 320, double
// buffered) and reads the real pose pictures, so run it on a display, e.g.
//   tests/withXvfb.sh build/default/bench/displayBenchmark --benchmark_repetitions=3
// The pieces of a frame (scene quads, sprites, text) are timed too, to show what a frame spends,
// and so is what a callback spends asking for a sound.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio.h"
#include "bout.h"
#include "control.h"
#include "dib.h"
#include "display.h"
#include "fencersOnTheirLines.h"
#include "image.h"

namespace {

constexpr int WINDOW_WIDTH = 1600;
constexpr int WINDOW_HEIGHT = 320;
// Pose changes before the memory is first read, so that the allocator and the driver have
// settled on the buffers they keep.
constexpr int WARM_UP_POSE_CHANGES = 300;
constexpr int COUNTED_POSE_CHANGES = 1000;
constexpr Pose ALTERNATING_POSES[] = {Pose::leftLunge,    Pose::leftEngarde, Pose::rightParry,
                                      Pose::rightEngarde, Pose::leftParry,   Pose::rightLunge};

const char* loaderFailure = nullptr;
void rememberLoaderMessage(const char* message) {
    loaderFailure = message;
}

void finishFrame() {
    glutSwapBuffers();
    glFinish();
}

void setSceneProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, SCENE_WIDTH, 0, SCENE_HEIGHT);
    glMatrixMode(GL_MODELVIEW);
}

// The least a frame can be: the window cleared and shown.
void bareFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    finishFrame();
}

void drawnFrame() {
    drawFrame();
    glFinish();
}

// Pieces of drawFrame, each on top of the bare frame, to see where a frame's time goes.
void sceneQuadsFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    setSceneProjection();
    glBegin(GL_QUADS);
    glColor3f(0.8f, 0.8f, 0.8f);
    glVertex2f(0, 0);
    glVertex2f(0, SCENE_HEIGHT);
    glVertex2f(SCENE_WIDTH, SCENE_HEIGHT);
    glVertex2f(SCENE_WIDTH, 0);
    drawStrip();
    drawScoringBox();
    drawNameBoards();
    glEnd();
    glBegin(GL_QUADS);
    drawCords();
    glEnd();
    finishFrame();
}

void emitSprite(const FencerQuad& quad) {
    constexpr float corners[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    glBegin(GL_QUADS);
    for (int corner = 0; corner < 4; ++corner) {
        glTexCoord2f(corners[corner][0], corners[corner][1]);
        glVertex2f(quad.vertex[corner].x, quad.vertex[corner].y);
    }
    glEnd();
}

void spritesFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    setSceneProjection();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, bout.leftSpriteTexture);
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0);
    glEnable(GL_ALPHA_TEST);
    glColor3f(1, 1, 1);
    emitSprite(bout.leftQuad);
    glBindTexture(GL_TEXTURE_2D, bout.rightSpriteTexture);
    emitSprite(bout.rightQuad);
    glDisable(GL_TEXTURE_2D);
    finishFrame();
}

void textFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    setSceneProjection();
    drawOverlay();
    finishFrame();
}

void timeFrames(benchmark::State& state, void (*frame)()) {
    for (auto _ : state) {
        frame();
    }
}

// The halt after a touch by the left fencer: the red lamp and the most text a frame shows.
struct TouchHaltShown {
    TouchHaltShown() { bout.halted = bout.leftTouch = bout.leftTouchHalt = 1; }
    ~TouchHaltShown() { bout.halted = bout.leftTouch = bout.leftTouchHalt = 0; }
};

void timeFramesDuringTouchHalt(benchmark::State& state, void (*frame)()) {
    const TouchHaltShown halt;
    timeFrames(state, frame);
}

// Both frames in turn, so that a busy neighbour on the machine weighs on both alike; the
// ratio is the figure the display is held to.
void timeFramePair(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Clock::duration bare{};
    Clock::duration drawn{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        bareFrame();
        const Clock::time_point middle = Clock::now();
        drawnFrame();
        bare += middle - start;
        drawn += Clock::now() - middle;
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["bareFrameUs"] =
        std::chrono::duration<double, std::micro>(bare).count() / frames;
    state.counters["drawFrameUs"] =
        std::chrono::duration<double, std::micro>(drawn).count() / frames;
    state.counters["drawFrameOverBare"] =
        std::chrono::duration<double>(drawn) / std::chrono::duration<double>(bare);
}

// ---- Pose changes ----

bool changePose(benchmark::State& state, Pose pose) {
    loadPoseTexture(pose);
    glFinish();
    if (loaderFailure != nullptr) {
        state.SkipWithError(loaderFailure);
        return false;
    }
    return true;
}

// The same 128 x 128 sprite the lunge picture gives, ready in memory.
RgbaSprite lungeSprite() {
    const std::unique_ptr<RgbImage> image = loadBitmapImage(poseFileName(Pose::leftLunge));
    return image ? keyWhiteTransparent(*image) : RgbaSprite{};
}

// What any pose change must do at least: a new texture name, the upload with the same
// filters and edges, and the superseded texture let go.
void uploadAlone(const RgbaSprite& sprite, GLuint& current) {
    GLuint fresh = 0;
    glGenTextures(1, &fresh);
    glBindTexture(GL_TEXTURE_2D, fresh);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, sprite.width, sprite.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, sprite.rgba.get());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (current != 0) {
        glDeleteTextures(1, &current);
    }
    current = fresh;
    glFinish();
}

void timePoseChange(benchmark::State& state) {
    for (auto _ : state) {
        if (!changePose(state, Pose::leftLunge)) {
            return;
        }
    }
}

void timeUploadAlone(benchmark::State& state) {
    const RgbaSprite sprite = lungeSprite();
    if (!sprite.rgba) {
        state.SkipWithError("the lunge picture could not be read");
        return;
    }
    GLuint current = 0;
    for (auto _ : state) {
        uploadAlone(sprite, current);
    }
    glDeleteTextures(1, &current);
}

void timePosePair(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const RgbaSprite sprite = lungeSprite();
    if (!sprite.rgba) {
        state.SkipWithError("the lunge picture could not be read");
        return;
    }
    GLuint current = 0;
    Clock::duration upload{};
    Clock::duration change{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        uploadAlone(sprite, current);
        const Clock::time_point middle = Clock::now();
        if (!changePose(state, Pose::leftLunge)) {
            break;
        }
        upload += middle - start;
        change += Clock::now() - middle;
    }
    glDeleteTextures(1, &current);
    const double changes = static_cast<double>(state.iterations());
    state.counters["uploadUs"] =
        std::chrono::duration<double, std::micro>(upload).count() / changes;
    state.counters["poseChangeUs"] =
        std::chrono::duration<double, std::micro>(change).count() / changes;
    state.counters["poseChangeOverUpload"] =
        std::chrono::duration<double>(change) / std::chrono::duration<double>(upload);
}

// The steps of a pose change other than the upload, for the same picture.
void timeReadPicture(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<RgbImage> image = loadBitmapImage(poseFileName(Pose::leftLunge));
        benchmark::DoNotOptimize(image.get());
    }
}

// The same picture decoded from bytes already in memory: what the loader spends beyond getting
// at the file.
void timeDecodeFromMemory(benchmark::State& state) {
    std::ifstream file(poseFileName(Pose::leftLunge), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    for (auto _ : state) {
        std::unique_ptr<RgbImage> image =
            loadBitmapFromMemory(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (!image) {
            state.SkipWithError("the lunge picture could not be decoded");
            return;
        }
        benchmark::DoNotOptimize(image.get());
    }
}

void timeKeyWhite(benchmark::State& state) {
    const std::unique_ptr<RgbImage> image = loadBitmapImage(poseFileName(Pose::leftLunge));
    if (!image) {
        state.SkipWithError("the lunge picture could not be read");
        return;
    }
    for (auto _ : state) {
        RgbaSprite sprite = keyWhiteTransparent(*image);
        benchmark::DoNotOptimize(sprite.rgba.get());
    }
}

// ---- Memory per thousand pose changes ----

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Alternating poses on both fencers; every name that stops being a fencer's current sprite is
// noted, so that afterwards none of them may still be a texture. The names go into room taken
// beforehand: a small allocation kept between pose changes pins the top of the heap and makes
// it look as if pose changes grew by tens of MiB.
void timeThousandPoseChanges(benchmark::State& state) {
    std::vector<GLuint> superseded;
    superseded.reserve(std::size_t{2} * COUNTED_POSE_CHANGES *
                       static_cast<std::size_t>(state.max_iterations));
    long growthKiB = 0;
    std::size_t pose = 0;
    const auto nextPose = [&] { return ALTERNATING_POSES[pose++ % std::size(ALTERNATING_POSES)]; };
    for (auto _ : state) {
        for (int change = 0; change < WARM_UP_POSE_CHANGES; ++change) {
            if (!changePose(state, nextPose())) {
                return;
            }
        }
        const long before = residentKiB();
        for (int change = 0; change < COUNTED_POSE_CHANGES; ++change) {
            superseded.push_back(bout.leftSpriteTexture);
            superseded.push_back(bout.rightSpriteTexture);
            if (!changePose(state, nextPose())) {
                return;
            }
        }
        growthKiB += residentKiB() - before;
    }
    const std::set<GLuint> seen(superseded.begin(), superseded.end());
    int stillTextures = 0;
    for (const GLuint name : seen) {
        const bool current = name == bout.leftSpriteTexture || name == bout.rightSpriteTexture;
        if (!current && glIsTexture(name) == GL_TRUE) {
            ++stillTextures;
        }
    }
    if (stillTextures > 0) {
        std::fprintf(stderr, "%d superseded sprite textures were never deleted\n", stillTextures);
    }
    state.counters["rssGrowthKiBPer1000"] =
        static_cast<double>(growthKiB) / static_cast<double>(state.iterations());
    state.counters["supersededStillTextures"] = stillTextures;
    state.counters["distinctNames"] = static_cast<double>(seen.size());
}

// ---- The bout on show ----

void noDisplayNeeded() {}

// Two named fencers on their lines, both shown en garde from the real pictures, as after the
// set-up dialogue.
void setUpBout() {
    placeFencersOnTheirLines();
    controlHooks.showPose = loadPoseTexture;
    resetSprites();
    // Every frame of the game starts from the state the previous one left (the alpha test on).
    drawFrame();
    glFinish();
}

// ---- A sound asked for during a callback ----

// The sound still playing cut short and the next one's stored samples copied into SDL's queue,
// the buzzer and the clash in turn.
void timeAskForSound(benchmark::State& state) {
    constexpr BoutSound SOUNDS[] = {BoutSound::buzzer, BoutSound::bladeClash};
    std::size_t next = 0;
    for (auto _ : state) {
        controlHooks.playSound(SOUNDS[next++ % std::size(SOUNDS)]);
    }
}

} // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(WINDOW_WIDTH, WINDOW_HEIGHT);
    glutCreateWindow("The Lamevo: display benchmark");
    glutDisplayFunc(noDisplayNeeded);
    // Let the window be mapped before the first frame is timed.
    for (int turn = 0; turn < 10; ++turn) {
        glutMainLoopEvent();
    }
    std::fprintf(stderr, "renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    if (chdir(LAMEVO_PICTURES_DIR) != 0) {
        std::perror(LAMEVO_PICTURES_DIR);
        return 1;
    }
    showLoaderMessage = rememberLoaderMessage;
    setUpBout();
    if (loaderFailure != nullptr) {
        std::fprintf(stderr, "the pose pictures could not be read: %s\n", loaderFailure);
        return 1;
    }

    // The driver draws on threads of its own and the X server shows the frame, so the time
    // that counts is the wall clock's.
    benchmark::RegisterBenchmark("frame/bare", timeFrames, bareFrame)->UseRealTime();
    benchmark::RegisterBenchmark("frame/drawFrame", timeFrames, drawnFrame)->UseRealTime();
    benchmark::RegisterBenchmark("frame/drawFrame/touchHalt", timeFramesDuringTouchHalt, drawnFrame)
        ->UseRealTime();
    benchmark::RegisterBenchmark("frame/pair", timeFramePair)->UseRealTime();
    benchmark::RegisterBenchmark("framePiece/sceneQuads", timeFrames, sceneQuadsFrame)
        ->UseRealTime();
    benchmark::RegisterBenchmark("framePiece/sprites", timeFrames, spritesFrame)->UseRealTime();
    benchmark::RegisterBenchmark("framePiece/text", timeFrames, textFrame)->UseRealTime();
    benchmark::RegisterBenchmark("framePiece/text/touchHalt", timeFramesDuringTouchHalt, textFrame)
        ->UseRealTime();
    benchmark::RegisterBenchmark("poseChange/uploadAlone", timeUploadAlone)->UseRealTime();
    benchmark::RegisterBenchmark("poseChange/loadPoseTexture", timePoseChange)->UseRealTime();
    benchmark::RegisterBenchmark("poseChange/pair", timePosePair)->UseRealTime();
    benchmark::RegisterBenchmark("poseChangePiece/loadBitmapImage", timeReadPicture);
    benchmark::RegisterBenchmark("poseChangePiece/loadBitmapFromMemory", timeDecodeFromMemory);
    benchmark::RegisterBenchmark("poseChangePiece/keyWhiteTransparent", timeKeyWhite);
    // SDL's dummy output plays nothing anywhere: the benchmark is not heard.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (openBoutSounds()) {
        controlHooks.playSound = playBoutSound;
        benchmark::RegisterBenchmark("callback/askForSound", timeAskForSound)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("poseChange/memoryPerThousand", timeThousandPoseChanges)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The messages' bytes. Numbers travel little-endian; a corner's coordinate as its float's bits.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "network.h"

namespace {

constexpr std::size_t TAG_LENGTH = sizeof GAME_TAG - 1;
constexpr std::size_t HELLO_SIZE = 1 + TAG_LENGTH + 2;
constexpr std::size_t SCENE_SIZE = 1 + 4 * 4 + 4 + 2 * 4 * 2 * 4;
constexpr std::int32_t LOWEST_CELL = -10;
constexpr std::int32_t HIGHEST_CELL = 50;
constexpr float FARTHEST_CORNER = 10000.0f;

// The flags the window reads, one bit each.
constexpr int BoutState::*SCENE_FLAGS[] = {
    &BoutState::leftLunging,    &BoutState::rightLunging,  &BoutState::leftParryHold,
    &BoutState::rightParryHold, &BoutState::halted,        &BoutState::leftOffStrip,
    &BoutState::rightOffStrip,  &BoutState::crossedHalt,   &BoutState::leftTouch,
    &BoutState::rightTouch,     &BoutState::leftTouchHalt, &BoutState::rightTouchHalt,
    &BoutState::fenceBanner,    &BoutState::leftWon,       &BoutState::rightWon,
};
constexpr std::uint32_t KNOWN_FLAGS = (1u << std::size(SCENE_FLAGS)) - 1;

struct KindRule {
    MessageKind kind;
    Sender sender;
    std::size_t leastSize;
    std::size_t mostSize; // a fixed size where both are equal
};
constexpr KindRule KIND_RULES[] = {
    {MessageKind::hello, Sender::host, HELLO_SIZE, HELLO_SIZE},
    {MessageKind::hello, Sender::joiner, HELLO_SIZE, HELLO_SIZE},
    {MessageKind::name, Sender::host, 2, 1 + LONGEST_NAME_BYTES},
    {MessageKind::name, Sender::joiner, 2, 1 + LONGEST_NAME_BYTES},
    {MessageKind::command, Sender::joiner, 2, 2},
    {MessageKind::goAhead, Sender::joiner, 1, 1},
    {MessageKind::console, Sender::host, 2, 1 + LONGEST_CONSOLE_TEXT},
    {MessageKind::askGoAhead, Sender::host, 1, 1},
    {MessageKind::scene, Sender::host, SCENE_SIZE, SCENE_SIZE},
    {MessageKind::pose, Sender::host, 2, 2},
    {MessageKind::sound, Sender::host, 2, 2},
    {MessageKind::recording, Sender::host, 3, 1 + LONGEST_CONSOLE_TEXT},
};

struct Writer {
    std::vector<std::uint8_t>& bytes;
    void u32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void quad(const FencerQuad& quad) {
        for (const SceneVertex& corner : quad.vertex) {
            u32(std::bit_cast<std::uint32_t>(corner.x));
            u32(std::bit_cast<std::uint32_t>(corner.y));
        }
    }
};

struct Reader {
    const std::uint8_t* at;
    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= std::uint32_t{*at++} << shift;
        }
        return value;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    // False when the coordinate is not a finite number near the scene.
    bool quad(FencerQuad& quad) {
        bool near = true;
        for (SceneVertex& corner : quad.vertex) {
            corner.x = std::bit_cast<float>(u32());
            corner.y = std::bit_cast<float>(u32());
            near = near && std::isfinite(corner.x) && std::isfinite(corner.y) &&
                   std::fabs(corner.x) <= FARTHEST_CORNER && std::fabs(corner.y) <= FARTHEST_CORNER;
        }
        return near;
    }
};

bool isNameByte(std::uint8_t byte) {
    return byte > ' ' && byte != 0x7F;
}

const char* decodeScene(Reader reader, MirroredScene& scene) {
    scene.leftTouches = reader.i32();
    scene.rightTouches = reader.i32();
    scene.leftPosition = reader.i32();
    scene.rightPosition = reader.i32();
    scene.flags = reader.u32();
    const bool quadsNear = reader.quad(scene.leftQuad) && reader.quad(scene.rightQuad);
    for (std::int32_t touches : {scene.leftTouches, scene.rightTouches}) {
        if (touches < 0 || touches > DIRECT_ELIMINATION_TOUCH_LIMIT) {
            return "a scene with an impossible score";
        }
    }
    for (std::int32_t cell : {scene.leftPosition, scene.rightPosition}) {
        if (cell < LOWEST_CELL || cell > HIGHEST_CELL) {
            return "a scene with a fencer far off the strip";
        }
    }
    if ((scene.flags & ~KNOWN_FLAGS) != 0) {
        return "a scene with unknown flags";
    }
    if (!quadsNear) {
        return "a scene with a sprite out of place";
    }
    return nullptr;
}

} // namespace

bool operator==(const MirroredScene& a, const MirroredScene& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

MirroredScene sceneOf(const BoutState& state) {
    MirroredScene scene{};
    scene.leftTouches = state.leftFencer->touches;
    scene.rightTouches = state.rightFencer->touches;
    scene.leftPosition = state.leftFencer->position;
    scene.rightPosition = state.rightFencer->position;
    for (std::size_t bit = 0; bit < std::size(SCENE_FLAGS); ++bit) {
        if (state.*SCENE_FLAGS[bit] == 1) {
            scene.flags |= 1u << bit;
        }
    }
    scene.leftQuad = state.leftQuad;
    scene.rightQuad = state.rightQuad;
    return scene;
}

void applyScene(const MirroredScene& scene, BoutState& state) {
    state.leftFencer->touches = scene.leftTouches;
    state.rightFencer->touches = scene.rightTouches;
    state.leftFencer->position = scene.leftPosition;
    state.rightFencer->position = scene.rightPosition;
    for (std::size_t bit = 0; bit < std::size(SCENE_FLAGS); ++bit) {
        state.*SCENE_FLAGS[bit] = (scene.flags >> bit) & 1;
    }
    state.leftQuad = scene.leftQuad;
    state.rightQuad = scene.rightQuad;
}

std::vector<std::uint8_t> encodeMessage(const Message& message) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(1 + std::max(SCENE_SIZE, message.text.size()));
    bytes.push_back(static_cast<std::uint8_t>(message.kind));
    Writer writer{bytes};
    switch (message.kind) {
    case MessageKind::hello:
        bytes.insert(bytes.end(), GAME_TAG, GAME_TAG + TAG_LENGTH);
        bytes.push_back(static_cast<std::uint8_t>(message.version));
        bytes.push_back(static_cast<std::uint8_t>(message.version >> 8));
        break;
    case MessageKind::name:
    case MessageKind::console:
    case MessageKind::recording:
        bytes.insert(bytes.end(), message.text.begin(), message.text.end());
        break;
    case MessageKind::command:
        bytes.push_back(static_cast<std::uint8_t>(message.command));
        break;
    case MessageKind::scene:
        for (std::int32_t value : {message.scene.leftTouches, message.scene.rightTouches,
                                   message.scene.leftPosition, message.scene.rightPosition}) {
            writer.u32(static_cast<std::uint32_t>(value));
        }
        writer.u32(message.scene.flags);
        writer.quad(message.scene.leftQuad);
        writer.quad(message.scene.rightQuad);
        break;
    case MessageKind::pose:
        bytes.push_back(static_cast<std::uint8_t>(message.pose));
        break;
    case MessageKind::sound:
        bytes.push_back(static_cast<std::uint8_t>(message.sound));
        break;
    case MessageKind::goAhead:
    case MessageKind::askGoAhead:
        break;
    }
    return bytes;
}

const char* decodeMessage(const std::uint8_t* bytes, std::size_t size, Sender sender,
                          Message& message) {
    if (size == 0) {
        return "an empty message";
    }
    const KindRule* rule = nullptr;
    for (const KindRule& candidate : KIND_RULES) {
        if (static_cast<std::uint8_t>(candidate.kind) == bytes[0] && candidate.sender == sender) {
            rule = &candidate;
        }
    }
    if (rule == nullptr) {
        return "a message of a kind it may not send";
    }
    if (rule->kind == MessageKind::name && size > rule->mostSize) {
        return "a name longer than 999 bytes";
    }
    if (size < rule->leastSize || size > rule->mostSize) {
        return "a message of the wrong size";
    }
    message.kind = rule->kind;
    const std::uint8_t* body = bytes + 1;
    const std::size_t bodySize = size - 1;
    switch (message.kind) {
    case MessageKind::hello:
        if (std::memcmp(body, GAME_TAG, TAG_LENGTH) != 0) {
            return "a first message that is not The Lamevo's";
        }
        message.version = static_cast<std::uint16_t>(body[TAG_LENGTH] | body[TAG_LENGTH + 1] << 8);
        return nullptr;
    case MessageKind::name:
        for (std::size_t i = 0; i < bodySize; ++i) {
            if (!isNameByte(body[i])) {
                return "a name with a blank or a control character in it";
            }
        }
        [[fallthrough]];
    case MessageKind::console:
        message.text = std::string_view(reinterpret_cast<const char*>(body), bodySize);
        return nullptr;
    case MessageKind::recording:
        message.text = std::string_view(reinterpret_cast<const char*>(body), bodySize);
        if (message.text.find('\n') != bodySize - 1) {
            return "a recording's line that is not one whole line";
        }
        return nullptr;
    case MessageKind::command:
        if (body[0] >= std::size(COMMAND_KEYS)) {
            return "an unknown command";
        }
        message.command = static_cast<FencerCommand>(body[0]);
        return nullptr;
    case MessageKind::scene:
        return decodeScene(Reader{body}, message.scene);
    case MessageKind::pose:
        if (body[0] > static_cast<std::uint8_t>(Pose::rightParry)) {
            return "an unknown pose";
        }
        message.pose = static_cast<Pose>(body[0]);
        return nullptr;
    case MessageKind::sound:
        if (body[0] > static_cast<std::uint8_t>(BoutSound::bladeClash)) {
            return "an unknown sound";
        }
        message.sound = static_cast<BoutSound>(body[0]);
        return nullptr;
    case MessageKind::goAhead:
    case MessageKind::askGoAhead:
        return nullptr;
    }
    return "a message of a kind it may not send";
}

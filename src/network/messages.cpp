// The messages' bytes. Numbers travel little-endian; a corner's coordinate as its float's bits.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

#include "console.h"
#include "network.h"

namespace {

constexpr std::size_t TAG_LENGTH = sizeof GAME_TAG - 1;
constexpr std::size_t HELLO_SIZE = 1 + TAG_LENGTH + 2;
constexpr std::size_t SCENE_SIZE = 1 + 4 * 4 + 4 + 2 * 4 * 2 * 4;
constexpr std::int32_t LOWEST_CELL = -10;
constexpr std::int32_t HIGHEST_CELL = 50;
constexpr float FARTHEST_CORNER = 10000.0f;
constexpr std::size_t LONGEST_UTF8_CHARACTER = 4;

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
    {MessageKind::name, Sender::joiner, 2, 1 + LONGEST_NAME_CHARACTERS* LONGEST_UTF8_CHARACTER},
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

struct CodePointRange {
    char32_t first, last;
};
// What a name may not hold: controls, blanks, the invisible formatting characters (the
// bidirectional controls among them, which reorder what follows them) and noncharacters.
constexpr CodePointRange NOT_IN_A_NAME[] = {
    {0x0000, 0x0020},   {0x007F, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},
    {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},   {0x1680, 0x1680},
    {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F},
    {0x205F, 0x206F},   {0x3000, 0x3000},   {0x3164, 0x3164},   {0xFDD0, 0xFDEF},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF9, 0xFFFB},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};
// What a terminal acts on instead of printing, but for the line break and the tab: the C0 and
// C1 controls (ESC, CSI, OSC...), DEL, and the bidirectional controls.
constexpr CodePointRange NOT_IN_CONSOLE_TEXT[] = {
    {0x0000, 0x0008}, {0x000B, 0x001F}, {0x007F, 0x009F}, {0x061C, 0x061C},
    {0x200E, 0x200F}, {0x202A, 0x202E}, {0x2066, 0x2069},
};
constexpr char REPLACEMENT = '?';

template <std::size_t count> bool isIn(const CodePointRange (&ranges)[count], char32_t codePoint) {
    return std::any_of(std::begin(ranges), std::end(ranges), [&](const CodePointRange& range) {
        return codePoint >= range.first && codePoint <= range.last;
    });
}

bool isNameCharacter(char32_t codePoint) {
    return !isIn(NOT_IN_A_NAME, codePoint) && (codePoint & 0xFFFE) != 0xFFFE;
}

bool isConsoleCharacter(char32_t codePoint) {
    return !isIn(NOT_IN_CONSOLE_TEXT, codePoint);
}

// text with every character that is not whole UTF-8 or that allowed refuses replaced by '?'.
std::string replaceRefused(std::string_view text, bool (*allowed)(char32_t)) {
    std::string kept;
    kept.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = firstUtf8Character(text.substr(at));
        if (character.length == 0 || !allowed(character.codePoint)) {
            kept += REPLACEMENT;
            at += std::max<std::size_t>(character.length, 1);
        } else {
            kept.append(text.substr(at, character.length));
            at += character.length;
        }
    }
    return kept;
}

const char* consoleTextFault(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = firstUtf8Character(text.substr(at));
        if (character.length == 0) {
            return "console text that is not UTF-8";
        }
        if (!isConsoleCharacter(character.codePoint)) {
            return "console text with a control character in it";
        }
        at += character.length;
    }
    return nullptr;
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

std::size_t wholeCharactersLength(std::string_view text) {
    // A lead byte within the last three bytes whose character the end cuts short.
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, text.size()); ++back) {
        const auto byte = static_cast<std::uint8_t>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

const char* nameFault(std::string_view name) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < name.size(); ++characters) {
        const Utf8Character character = firstUtf8Character(name.substr(at));
        if (character.length == 0) {
            return "a name that is not UTF-8 text";
        }
        if (!isNameCharacter(character.codePoint)) {
            return "a name with a blank or a control character in it";
        }
        at += character.length;
    }
    if (characters > LONGEST_NAME_CHARACTERS) {
        return "a name longer than 40 characters";
    }
    return name.empty() ? "an empty name" : nullptr;
}

std::string neutralName(std::string_view name) {
    std::string neutral = replaceRefused(name, isNameCharacter);
    std::size_t at = 0;
    for (std::size_t characters = 0; at < neutral.size() && characters < LONGEST_NAME_CHARACTERS;
         ++characters) {
        at += firstUtf8Character(std::string_view(neutral).substr(at)).length;
    }
    neutral.resize(at);
    return neutral.empty() ? std::string(1, REPLACEMENT) : neutral;
}

std::string safeConsoleText(std::string_view text) {
    return replaceRefused(text, isConsoleCharacter);
}

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
        return sender == Sender::joiner ? "a name longer than 40 characters"
                                        : "a name longer than 999 bytes";
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
        message.text = std::string_view(reinterpret_cast<const char*>(body), bodySize);
        // The host's name is shown whatever it holds, in a neutral form where it must be.
        return sender == Sender::joiner ? nameFault(message.text) : nullptr;
    case MessageKind::console:
        message.text = std::string_view(reinterpret_cast<const char*>(body), bodySize);
        return consoleTextFault(message.text);
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

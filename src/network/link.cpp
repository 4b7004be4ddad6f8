// The ENet link: one host object per process, at most one opponent on it, and the dialogue and
// bout steps that wait on it.
#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <enet/enet.h>
#include <ifaddrs.h>
#include <limits>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

#include "console.h"
#include "network.h"

namespace {

constexpr std::size_t CHANNEL_COUNT = 1;
// Room for the opponent and a few strangers, who are refused at once.
constexpr std::size_t PEER_SLOTS = 4;
// ENet's own timers (pings, resends) run at least this often.
constexpr int SERVICE_INTERVAL_MILLISECONDS = 20;
// A peer that acknowledges nothing for this long is gone; ENet pings twice a second, so a
// silent peer is noticed about 7 s after its last datagram, well within 10 s.
constexpr enet_uint32 PEER_TIMEOUT_LIMIT = 32;
constexpr enet_uint32 PEER_TIMEOUT_MINIMUM_MILLISECONDS = 5000;
constexpr enet_uint32 PEER_TIMEOUT_MAXIMUM_MILLISECONDS = 6000;
constexpr Milliseconds LONGEST_OWN_PRESS_DELAY = 150;
// How long the host, at the end of a bout, waits for the joiner to take its leave.
constexpr Milliseconds FAREWELL_MILLISECONDS = 3000;
constexpr Milliseconds DATAGRAM_REFUSAL_INTERVAL_MILLISECONDS = 1000;

// Why the host closed a connection, in the data of ENet's disconnect.
enum Refusal : enet_uint32 { noRefusal, opponentAlreadyThere, notThisGame, badMessage };

struct DuePress {
    Milliseconds due;
    unsigned char key;
};

struct Link {
    ENetHost* host = nullptr;
    ENetPeer* opponent = nullptr;
    bool hosting = false;
    std::string address; // what the joiner was told to join, or where the opponent is
    std::uint16_t port = 0;
    const char* ownName = nullptr;
    // The exchange so far with the opponent.
    bool connected = false;
    bool greeted = false; // the joiner has had the host's hello
    std::string opponentName;
    bool opponentNamed = false;
    bool opponentGoAhead = false;
    bool askedForGoAhead = false;
    bool boutRunning = false;
    bool leaving = false;
    Milliseconds lastDatagramRefusal = std::numeric_limits<Milliseconds>::min() / 2;
    std::deque<DuePress> ownPresses;
    bool sceneSent = false;
    MirroredScene lastScene{};
    std::FILE* realStdout = nullptr;
    void (*showPose)(Pose) = nullptr;
    void (*playSound)(BoutSound) = nullptr;
    void (*endProcess)(int) = nullptr;
    void (*takeRecordingLine)(std::string_view) = nullptr;
};
Link session;

std::string addressText(const ENetAddress& address) {
    char text[64];
    if (enet_address_get_host_ip(&address, text, sizeof text) != 0) {
        std::strcpy(text, "an unknown address");
    }
    return std::string(text) + ":" + std::to_string(address.port);
}

[[noreturn]] void endWithLostConnection() {
    session.opponent = nullptr;
    session.endProcess(CONNECTION_LOST_STATUS);
    std::exit(CONNECTION_LOST_STATUS);
}

[[gnu::format(printf, 1, 2)]] void sayOnConsole(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fflush(stderr);
}

void send(ENetPeer* peer, const Message& message) {
    const std::vector<std::uint8_t> bytes = encodeMessage(message);
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (packet == nullptr || enet_peer_send(peer, 0, packet) != 0) {
        if (packet != nullptr) {
            enet_packet_destroy(packet);
        }
        sayOnConsole("\nThe Lamevo could not send to %s: the bout cannot go on.\n",
                     session.opponentName.c_str());
        endWithLostConnection();
    }
    enet_host_flush(session.host);
}

void sendToOpponent(Message message) {
    if (session.opponent != nullptr) {
        send(session.opponent, message);
    }
}

void closeLink() {
    if (session.opponent != nullptr) {
        enet_peer_disconnect_now(session.opponent, noRefusal);
        session.opponent = nullptr;
    }
    if (session.host != nullptr) {
        enet_host_destroy(session.host);
        session.host = nullptr;
    }
    enet_deinitialize();
}

// ---- What each side does with what arrives ----

void refuse(ENetPeer* peer, Refusal why, const char* what) {
    sayOnConsole("Refused %s: it sent %s.\n", addressText(peer->address).c_str(), what);
    enet_peer_disconnect(peer, why);
    if (peer != session.opponent) {
        return;
    }
    session.opponent = nullptr;
    if (session.opponentNamed) {
        sayOnConsole("The bout with %s cannot go on.\n", session.opponentName.c_str());
        endWithLostConnection();
    }
}

// The first peer whose first message is this game's hello is the opponent; the rest are refused.
void takeFromJoiner(ENetPeer* peer, const Message& message) {
    if (peer != session.opponent) {
        if (message.kind != MessageKind::hello) {
            refuse(peer, notThisGame, "a first message that is not The Lamevo's");
        } else if (message.version != PROTOCOL_VERSION) {
            const std::string what = "version " + std::to_string(message.version) +
                                     " of the game's messages, and this game speaks version " +
                                     std::to_string(PROTOCOL_VERSION);
            refuse(peer, notThisGame, what.c_str());
        } else if (session.opponent != nullptr) {
            sayOnConsole("Refused %s: %s is already the opponent.\n",
                         addressText(peer->address).c_str(),
                         session.opponentNamed ? session.opponentName.c_str() : "another player");
            enet_peer_disconnect(peer, opponentAlreadyThere);
        } else {
            session.opponent = peer;
            send(peer, {.kind = MessageKind::hello, .version = PROTOCOL_VERSION});
            send(peer, {.kind = MessageKind::name, .text = session.ownName});
        }
        return;
    }
    switch (message.kind) {
    case MessageKind::name:
        if (!session.opponentNamed) {
            session.opponentName = message.text;
            session.opponentNamed = true;
            return;
        }
        break;
    case MessageKind::goAhead:
        if (session.opponentNamed && !session.opponentGoAhead) {
            session.opponentGoAhead = true;
            return;
        }
        break;
    case MessageKind::command:
        if (session.opponentNamed) {
            // Presses before the bout starts, like keys in the window then, do nothing.
            if (session.boutRunning) {
                onKeyPress(commandKey(RIGHT_PLAYER, message.command), 0, 0);
            }
            return;
        }
        break;
    default:
        break;
    }
    refuse(peer, badMessage, "a message out of turn");
}

void takeFromHost(const Message& message) {
    if (!session.greeted) {
        if (message.kind != MessageKind::hello || message.version != PROTOCOL_VERSION) {
            sayOnConsole("The game at %s:%u is another version of The Lamevo, or another "
                         "game: the bout cannot go on.\n",
                         session.address.c_str(), session.port);
            endWithLostConnection();
        }
        session.greeted = true;
        return;
    }
    switch (message.kind) {
    case MessageKind::name:
        session.opponentName = message.text;
        session.opponentNamed = true;
        break;
    case MessageKind::console:
        std::fwrite(message.text.data(), 1, message.text.size(), stdout);
        std::fflush(stdout);
        break;
    case MessageKind::askGoAhead:
        session.askedForGoAhead = true;
        break;
    case MessageKind::scene:
        if (bout.leftFencer != nullptr && bout.rightFencer != nullptr) {
            applyScene(message.scene, bout);
            controlHooks.requestRedraw();
        }
        break;
    case MessageKind::pose:
        controlHooks.showPose(message.pose);
        controlHooks.requestRedraw();
        break;
    case MessageKind::sound:
        controlHooks.playSound(message.sound);
        break;
    case MessageKind::recording:
        if (session.takeRecordingLine != nullptr) {
            session.takeRecordingLine(message.text);
        }
        break;
    default:
        sayOnConsole("The game at %s:%u sent a message out of turn: the bout cannot go on.\n",
                     session.address.c_str(), session.port);
        endWithLostConnection();
    }
}

void receive(ENetPeer* peer, const ENetPacket& packet) {
    // A refused peer's last words, or anyone's but the host's on the joiner.
    if (peer->state != ENET_PEER_STATE_CONNECTED ||
        (!session.hosting && peer != session.opponent)) {
        return;
    }
    Message message{};
    const char* fault = decodeMessage(packet.data, packet.dataLength,
                                      session.hosting ? Sender::joiner : Sender::host, message);
    if (fault != nullptr) {
        if (session.hosting) {
            refuse(peer, badMessage, fault);
            return;
        }
        sayOnConsole("The game at %s:%u sent %s: the bout cannot go on.\n", session.address.c_str(),
                     session.port, fault);
        endWithLostConnection();
    }
    if (session.hosting) {
        takeFromJoiner(peer, message);
    } else {
        takeFromHost(message);
    }
}

void lose(ENetPeer* peer, enet_uint32 reason) {
    if (peer != session.opponent) {
        return;
    }
    session.opponent = nullptr;
    if (session.leaving) {
        return;
    }
    if (session.hosting && !session.opponentNamed) {
        sayOnConsole("%s left before giving a name; waiting on.\n",
                     addressText(peer->address).c_str());
        return;
    }
    if (!session.hosting && !session.connected) {
        sayOnConsole("Nobody answered at %s, UDP port %u: is a game hosting there "
                     "(lamevo --host)?\n",
                     session.address.c_str(), session.port);
    } else if (!session.hosting && reason == opponentAlreadyThere) {
        sayOnConsole("The game at %s:%u already has an opponent.\n", session.address.c_str(),
                     session.port);
    } else if (!session.hosting && reason != noRefusal) {
        sayOnConsole("The game at %s:%u refused this game.\n", session.address.c_str(),
                     session.port);
    } else if (!session.hosting && (bout.leftWon == 1 || bout.rightWon == 1)) {
        // The host ends ten seconds after the win; so does the joiner.
        session.endProcess(0);
    } else {
        sayOnConsole("\nThe connection to %s was lost: the bout cannot go on.\n",
                     session.opponentNamed ? session.opponentName.c_str()
                                           : session.address.c_str());
    }
    endWithLostConnection();
}

void handle(ENetEvent& event) {
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
        enet_peer_timeout(event.peer, PEER_TIMEOUT_LIMIT, PEER_TIMEOUT_MINIMUM_MILLISECONDS,
                          PEER_TIMEOUT_MAXIMUM_MILLISECONDS);
        if (!session.hosting && event.peer == session.opponent) {
            session.connected = true;
            send(event.peer, {.kind = MessageKind::hello, .version = PROTOCOL_VERSION});
        }
        break;
    case ENET_EVENT_TYPE_RECEIVE:
        receive(event.peer, *event.packet);
        enet_packet_destroy(event.packet);
        break;
    case ENET_EVENT_TYPE_DISCONNECT:
        lose(event.peer, event.data);
        break;
    case ENET_EVENT_TYPE_NONE:
        break;
    }
}

// Handles what has arrived, waiting up to timeout for the first of it.
void serviceEvents(int timeoutMilliseconds) {
    ENetEvent event;
    int status =
        enet_host_service(session.host, &event, static_cast<enet_uint32>(timeoutMilliseconds));
    while (status > 0) {
        handle(event);
        if (session.host == nullptr) {
            return;
        }
        status = enet_host_service(session.host, &event, 0);
    }
}

void waitUntil(const bool& condition) {
    while (!condition) {
        serviceEvents(SERVICE_INTERVAL_MILLISECONDS);
    }
}

// A datagram that cannot be ENet's is refused with a line, not silently dropped. ENet's header
// is a peer number with two flag bits (and a send time when the top one is set); the commands
// follow, range-coded when the compression bit is set, each with its number in the low bits of
// its first byte.
constexpr std::uint16_t SENT_TIME_FLAG = 0x8000;
constexpr std::uint16_t COMPRESSED_FLAG = 0x4000;
constexpr std::uint16_t PEER_NUMBER_MASK = 0x0FFF;
constexpr std::uint16_t CONNECTING_PEER_NUMBER = 0x0FFF;
constexpr std::uint8_t LAST_COMMAND_NUMBER = 12;
constexpr std::size_t COMMAND_HEADER_SIZE = 4;

int screenDatagram(ENetHost* host, ENetEvent*) {
    const std::uint8_t* data = host->receivedData;
    const std::size_t size = host->receivedDataLength;
    bool looksLikeEnet = size >= 2;
    if (looksLikeEnet) {
        const auto header = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
        const std::size_t headerSize = (header & SENT_TIME_FLAG) != 0 ? 4 : 2;
        const std::uint16_t peerNumber = header & PEER_NUMBER_MASK;
        std::uint8_t commands[ENET_PROTOCOL_MAXIMUM_MTU];
        std::size_t commandsSize = size > headerSize ? size - headerSize : 0;
        if ((header & COMPRESSED_FLAG) != 0 && host->compressor.decompress == nullptr) {
            commandsSize = 0;
        } else if ((header & COMPRESSED_FLAG) != 0 && commandsSize > 0) {
            commandsSize = host->compressor.decompress(host->compressor.context, data + headerSize,
                                                       commandsSize, commands, sizeof commands);
        } else if (commandsSize > 0) {
            std::memcpy(commands, data + headerSize, std::min(commandsSize, sizeof commands));
        }
        const std::uint8_t command = commandsSize > 0 ? commands[0] & 0x0F : 0;
        looksLikeEnet = commandsSize >= COMMAND_HEADER_SIZE &&
                        (peerNumber == CONNECTING_PEER_NUMBER || peerNumber < host->peerCount) &&
                        command >= 1 && command <= LAST_COMMAND_NUMBER;
    }
    if (looksLikeEnet) {
        return 0;
    }
    // A flood of them gets one line a second, not one each.
    const Milliseconds now = controlHooks.nowMilliseconds();
    if (now - session.lastDatagramRefusal >= DATAGRAM_REFUSAL_INTERVAL_MILLISECONDS) {
        sayOnConsole("Refused a datagram from %s: it is not The Lamevo's network traffic.\n",
                     addressText(host->receivedAddress).c_str());
        session.lastDatagramRefusal = now;
    }
    return 1;
}

void startEnet() {
    if (enet_initialize() != 0) {
        sayOnConsole("The Lamevo could not start its networking.\n");
        std::exit(CONNECTION_LOST_STATUS);
    }
    std::atexit(closeLink);
    session.endProcess = controlHooks.endProcess;
}

// ---- The host's console goes to the joiner too ----

ssize_t writeToBothConsoles(void*, const char* text, std::size_t size) {
    std::fwrite(text, 1, size, session.realStdout);
    std::fflush(session.realStdout);
    for (std::size_t sent = 0; sent < size; sent += LONGEST_CONSOLE_TEXT) {
        const std::size_t length = std::min(LONGEST_CONSOLE_TEXT, size - sent);
        sendToOpponent({.kind = MessageKind::console, .text = {text + sent, length}});
    }
    return static_cast<ssize_t>(size);
}

void showPoseOnBoth(Pose pose) {
    session.showPose(pose);
    sendToOpponent({.kind = MessageKind::pose, .pose = pose});
}

void playSoundOnBoth(BoutSound sound) {
    session.playSound(sound);
    sendToOpponent({.kind = MessageKind::sound, .sound = sound});
}

// At the end of a won bout the joiner is let go before the host ends.
void endAfterFarewell(int status) {
    if (session.opponent != nullptr) {
        session.leaving = true;
        enet_peer_disconnect(session.opponent, noRefusal);
        const Milliseconds giveUp = controlHooks.nowMilliseconds() + FAREWELL_MILLISECONDS;
        while (session.opponent != nullptr && controlHooks.nowMilliseconds() < giveUp) {
            serviceEvents(SERVICE_INTERVAL_MILLISECONDS);
        }
    }
    session.endProcess(status);
}

void mirrorToJoiner() {
    cookie_io_functions_t console{};
    console.write = writeToBothConsoles;
    std::FILE* both = fopencookie(nullptr, "w", console);
    if (both != nullptr) {
        std::fflush(stdout);
        session.realStdout = stdout;
        stdout = both;
    }
    session.showPose = controlHooks.showPose;
    session.playSound = controlHooks.playSound;
    controlHooks.showPose = showPoseOnBoth;
    controlHooks.playSound = playSoundOnBoth;
    controlHooks.endProcess = endAfterFarewell;
}

// ---- Console input that keeps the link alive while a player types ----

ssize_t readWhileServicing(void* cookie, char* buffer, std::size_t size) {
    const int descriptor = fileno(static_cast<std::FILE*>(cookie));
    while (true) {
        pollfd waits[2] = {{descriptor, POLLIN, 0}, {-1, POLLIN, 0}};
        if (session.host != nullptr) {
            waits[1].fd = session.host->socket;
        }
        const int ready =
            poll(waits, 2, session.host != nullptr ? SERVICE_INTERVAL_MILLISECONDS : -1);
        if (session.host != nullptr) {
            serviceEvents(0);
        }
        if (ready > 0 && waits[0].revents != 0) {
            const ssize_t got = read(descriptor, buffer, size);
            if (got >= 0 || errno != EINTR) {
                return got;
            }
        }
    }
}

std::FILE* inputWhileServicing(std::FILE* input) {
    cookie_io_functions_t reading{};
    reading.read = readWhileServicing;
    std::FILE* wrapped = fopencookie(input, "r", reading);
    return wrapped != nullptr ? wrapped : input;
}

std::string thisMachinesAddresses() {
    std::string list;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return "none found";
    }
    for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        char text[INET_ADDRSTRLEN];
        const auto* ip = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &ip->sin_addr, text, sizeof text) != nullptr) {
            list += (list.empty() ? "" : ", ") + std::string(text);
        }
    }
    freeifaddrs(interfaces);
    return list.empty() ? "none found" : list;
}

char* copyOf(const std::string& text) {
    char* copy = strdup(text.c_str());
    if (copy == nullptr) {
        std::fputs("The Lamevo ran out of memory while storing a player's name.\n", stderr);
        std::exit(1);
    }
    return copy;
}

std::optional<FencerCommand> commandOf(std::int32_t playerNumber, unsigned char key) {
    const unsigned char lower = key == ':' ? ';' : static_cast<unsigned char>(std::tolower(key));
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (commandKey(playerNumber, keys.command) == lower) {
            return keys.command;
        }
    }
    return std::nullopt;
}

} // namespace

std::int32_t hostSetup(std::FILE* input, std::uint16_t port, char** firstName, char** secondName) {
    startEnet();
    session.hosting = true;
    session.port = port;
    std::FILE* console = inputWhileServicing(input);
    greetPlayers();
    *firstName = askFirstName(console);
    session.ownName = *firstName;

    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    session.host = enet_host_create(&address, PEER_SLOTS, CHANNEL_COUNT, 0, 0);
    if (session.host == nullptr) {
        sayOnConsole("The Lamevo could not listen on UDP port %u: another program may be using "
                     "it (try --host=PORT with another port).\n",
                     port);
        std::exit(CONNECTION_LOST_STATUS);
    }
    session.host->intercept = screenDatagram;
    // The console's text is most of the traffic, and much of it the same strip over and again.
    enet_host_compress_with_range_coder(session.host);
    announce("\n\tWaiting for an opponent on UDP port %u. They join with\n"
             "\t\tlamevo --join=ADDRESS:%u\n"
             "\twhere ADDRESS is this machine's name or one of its addresses: %s.\n",
             port, port, thisMachinesAddresses().c_str());
    waitUntil(session.opponentNamed);
    *secondName = copyOf(session.opponentName);

    const std::int32_t touchLimit = askBoutKind(console, *secondName, 0);
    mirrorToJoiner();
    listControls(*firstName, *secondName);
    sendToOpponent({.kind = MessageKind::askGoAhead});
    readGoAhead(console);
    waitUntil(session.opponentGoAhead);
    session.boutRunning = true;
    return touchLimit;
}

void joinSetup(std::FILE* input, const char* address, std::uint16_t port, char** firstName,
               char** secondName) {
    startEnet();
    session.address = address;
    session.port = port;
    std::FILE* console = inputWhileServicing(input);
    greetPlayers();
    announce("\n\tJoining the bout hosted at %s, UDP port %u.\n", address, port);

    ENetAddress host{};
    host.port = port;
    if (enet_address_set_host(&host, address) != 0) {
        sayOnConsole("The Lamevo cannot find %s: check the host's name or IPv4 address.\n",
                     address);
        std::exit(CONNECTION_LOST_STATUS);
    }
    session.host = enet_host_create(nullptr, 1, CHANNEL_COUNT, 0, 0);
    if (session.host == nullptr) {
        sayOnConsole("The Lamevo could not open a UDP socket.\n");
        std::exit(CONNECTION_LOST_STATUS);
    }
    enet_host_compress_with_range_coder(session.host);
    session.opponent = enet_host_connect(session.host, &host, CHANNEL_COUNT, 0);
    if (session.opponent == nullptr) {
        sayOnConsole("The Lamevo could not start a connection to %s.\n", address);
        std::exit(CONNECTION_LOST_STATUS);
    }
    enet_peer_timeout(session.opponent, PEER_TIMEOUT_LIMIT, PEER_TIMEOUT_MINIMUM_MILLISECONDS,
                      PEER_TIMEOUT_MAXIMUM_MILLISECONDS);
    waitUntil(session.opponentNamed);
    *firstName = copyOf(session.opponentName);
    *secondName = askSecondName(console, *firstName);
    session.ownName = *secondName;
    sendToOpponent({.kind = MessageKind::name, .text = *secondName});
    waitUntil(session.askedForGoAhead);
    readGoAhead(console);
    sendToOpponent({.kind = MessageKind::goAhead});
    session.boutRunning = true;
}

void onOwnKeyPress(unsigned char key, int, int) {
    if (!session.boutRunning) {
        return;
    }
    if (session.hosting) {
        if (commandOf(LEFT_PLAYER, key)) {
            session.ownPresses.push_back({controlHooks.nowMilliseconds() + ownPressDelay(), key});
        }
    } else if (const std::optional<FencerCommand> command = commandOf(RIGHT_PLAYER, key)) {
        sendToOpponent({.kind = MessageKind::command, .command = *command});
    }
}

void serviceNetwork() {
    if (session.host == nullptr) {
        return;
    }
    serviceEvents(0);
    if (!session.hosting) {
        return;
    }
    const Milliseconds now = controlHooks.nowMilliseconds();
    while (!session.ownPresses.empty() && session.ownPresses.front().due <= now) {
        const unsigned char key = session.ownPresses.front().key;
        session.ownPresses.pop_front();
        onKeyPress(key, 0, 0);
    }
    onIdle();
    if (bout.leftFencer != nullptr && bout.rightFencer != nullptr) {
        const MirroredScene scene = sceneOf(bout);
        if (!session.sceneSent || !(scene == session.lastScene)) {
            sendToOpponent({.kind = MessageKind::scene, .scene = scene});
            session.lastScene = scene;
            session.sceneSent = true;
        }
    }
}

int networkSocket() {
    return session.host != nullptr ? session.host->socket : -1;
}

void readNetwork() {
    if (session.host != nullptr) {
        serviceEvents(0);
    }
}

Milliseconds nextNetworkTurn() {
    const Milliseconds now = controlHooks.nowMilliseconds();
    Milliseconds due = now + SERVICE_INTERVAL_MILLISECONDS;
    if (session.hosting && waitsForTheClock()) {
        due = std::min(due, now + millisecondsToNextSecond());
    }
    if (!session.ownPresses.empty()) {
        due = std::min(due, session.ownPresses.front().due);
    }
    return due;
}

void sendRecordingLine(std::string_view line) {
    if (session.hosting && session.opponent != nullptr) {
        sendToOpponent({.kind = MessageKind::recording, .text = line});
    }
}

void takeRecordingLines(void (*take)(std::string_view line)) {
    session.takeRecordingLine = take;
}

Milliseconds ownPressDelay() {
    if (!session.hosting || session.opponent == nullptr) {
        return 0;
    }
    // ENet's smoothed round trip swings by tens of milliseconds on a quiet link; the least one
    // it saw over this and the last few seconds is the link's own.
    const ENetPeer& peer = *session.opponent;
    const enet_uint32 roundTrip =
        std::min({peer.roundTripTime, peer.lowestRoundTripTime, peer.lastRoundTripTime});
    return std::min<Milliseconds>(roundTrip / 2, LONGEST_OWN_PRESS_DELAY);
}

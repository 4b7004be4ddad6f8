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
#include <vector>

#include "console.h"
#include "meet.h"
#include "network.h"
#include "router.h"

namespace {

constexpr std::size_t CHANNEL_COUNT = 1;
// Room for the opponent and the strangers still to say who they are; one slot is always kept
// free for the next to come.
constexpr std::size_t PEER_SLOTS = 8;
// ENet's own timers (pings, resends) run at least this often.
constexpr int SERVICE_INTERVAL_MILLISECONDS = 20;
// A peer that acknowledges nothing for this long is gone. ENet pings twice a second and resends
// at least every LONGEST_RESEND_WAIT, so a silent peer is noticed within 10 s of its last
// datagram, and a link that loses a third of them each way is not taken for a silent one.
constexpr enet_uint32 PEER_TIMEOUT_LIMIT = 32;
constexpr enet_uint32 PEER_TIMEOUT_MILLISECONDS = 8500;
// The joiner gives up when the host has not said hello and its player's name by then.
constexpr Milliseconds JOIN_DEADLINE_MILLISECONDS = 10000;
constexpr Milliseconds LONGEST_OWN_PRESS_DELAY = 150;
// How long the host, at the end of a bout, waits for the joiner to take its leave.
constexpr Milliseconds FAREWELL_MILLISECONDS = 3000;
// Lines about strangers come at most this often.
constexpr Milliseconds STRANGER_LINE_INTERVAL_MILLISECONDS = 1000;

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
    std::vector<StrangerSlot> slots; // by ENet's peer slot
    StrangerLines strangerLines;
    CompressedConnects compressedConnects;
    std::deque<DuePress> ownPresses;
    bool sceneSent = false;
    MirroredScene lastScene{};
    std::string unsentConsoleText;
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

// With a router or a meet server in play, the console says how the two games reached each other
// and how long the round trip is.
void sayHowConnected(const ENetPeer& peer) {
    const bool routerInPlay = session.hosting && routerAsked();
    if (!meetServerChosen() && !routerInPlay) {
        return;
    }
    const MeetWay met = meetWay(peer);
    const char* way = meetWayText(met);
    char ip[64] = "";
    enet_address_get_host_ip(&peer.address, ip, sizeof ip);
    const RouterWay router = routerInPlay ? routerOutcome(0).way : RouterWay::none;
    if (met == MeetWay::none && (router == RouterWay::upnp || router == RouterWay::natPmp) &&
        !isPrivateAddress(ip)) {
        way = "through the router's opened port";
    }
    const enet_uint32 roundTrip =
        std::min({peer.roundTripTime, peer.lowestRoundTripTime, peer.lastRoundTripTime});
    if (session.hosting) {
        announce("\n\t%s joined, %s; round trip %u ms.\n", session.opponentName.c_str(), way,
                 roundTrip);
    } else {
        announce("\n\tConnected to %s's game, %s; round trip %u ms.\n",
                 session.opponentName.c_str(), way, roundTrip);
    }
}

// ---- Strangers on the host ----

void tellUntoldStrangers(Milliseconds now) {
    if (const unsigned untold = untoldStrangersDue(session.strangerLines, now); untold > 0) {
        sayOnConsole("Refused or lost %u more stranger%s since the last line.\n", untold,
                     untold == 1 ? "" : "s");
    }
}

// A line about a stranger; a flood of them gets one line a second and a count of the rest.
[[gnu::format(printf, 1, 2)]] void tellAboutStranger(const char* format, ...) {
    const Milliseconds now = controlHooks.nowMilliseconds();
    if (!mayTellOfStranger(session.strangerLines, now)) {
        tellUntoldStrangers(now);
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fflush(stderr);
}

// The same for the sender of the datagram ENet has just received, whose address is written out
// only for a line that comes: a flood of junk costs no text.
void tellAboutDatagram(const char* why) {
    const Milliseconds now = controlHooks.nowMilliseconds();
    if (!mayTellOfStranger(session.strangerLines, now)) {
        tellUntoldStrangers(now);
        return;
    }
    sayOnConsole("Refused %s from %s: %s.\n", why == nullptr ? "a datagram" : "a connection",
                 addressText(session.host->receivedAddress).c_str(),
                 why == nullptr ? "it is not The Lamevo's network traffic" : why);
}

// The host's record of peer's connection, begun afresh when the slot holds a new one.
StrangerSlot& slotOf(const ENetPeer* peer) {
    StrangerSlot& slot = session.slots[static_cast<std::size_t>(peer - session.host->peers)];
    if (!slot.inUse || slot.connectId != peer->connectID) {
        slot = {
            .connectId = peer->connectID, .since = controlHooks.nowMilliseconds(), .inUse = true};
    }
    return slot;
}

// Closes a stranger's connection, telling it why when it is connected.
void closeStranger(ENetPeer* peer, Refusal why) {
    StrangerSlot& slot = slotOf(peer);
    slot.closing = true;
    slot.since = controlHooks.nowMilliseconds();
    if (peer->state == ENET_PEER_STATE_CONNECTED) {
        enet_peer_disconnect(peer, why);
    } else {
        enet_peer_reset(peer);
    }
}

// Strangers get a few seconds to say hello, and a joiner's player a minute to type a name; a
// refused one is let go once ENet has said goodbye, or after a few seconds. When no slot is
// free the one that has waited longest makes room for the next to come.
void watchStrangers() {
    const Milliseconds now = controlHooks.nowMilliseconds();
    for (ENetPeer* peer = session.host->peers; peer < session.host->peers + session.host->peerCount;
         ++peer) {
        if (peer->state == ENET_PEER_STATE_DISCONNECTED) {
            // A slot's record is begun afresh here once ENet has let its connection go.
            session.slots[static_cast<std::size_t>(peer - session.host->peers)].inUse = false;
            continue;
        }
        if (peer == session.opponent || isMeetPeer(peer)) {
            continue;
        }
        StrangerSlot& slot = slotOf(peer);
        switch (fateOf(slot, now)) {
        case StrangerFate::letGo:
            enet_peer_reset(peer);
            break;
        case StrangerFate::noHelloInTime:
            tellAboutStranger("Refused %s: it said no hello within 6 seconds.\n",
                              addressText(peer->address).c_str());
            closeStranger(peer, noHelloInTime);
            break;
        case StrangerFate::noNameInTime:
            tellAboutStranger("Refused %s: it gave no name within a minute.\n",
                              addressText(peer->address).c_str());
            closeStranger(peer, noNameInTime);
            break;
        case StrangerFate::waits:
            break;
        }
    }
    const std::size_t room = slotToMakeRoom(*session.host, session.slots, session.opponent, now);
    if (room < session.host->peerCount) {
        ENetPeer* longestWaiting = &session.host->peers[room];
        tellAboutStranger("Let %s go to make room: it had given no name.\n",
                          addressText(longestWaiting->address).c_str());
        if (longestWaiting->state == ENET_PEER_STATE_CONNECTED) {
            enet_peer_disconnect_now(longestWaiting, hostBusy);
        } else {
            enet_peer_reset(longestWaiting);
        }
    }
    tellUntoldStrangers(now);
}

// ---- What each side does with what arrives ----

void refuse(ENetPeer* peer, Refusal why, const char* what) {
    if (peer != session.opponent) {
        tellAboutStranger("Refused %s: it sent %s.\n", addressText(peer->address).c_str(), what);
        closeStranger(peer, why);
        return;
    }
    sayOnConsole("Refused %s: it sent %s.\n", addressText(peer->address).c_str(), what);
    enet_peer_disconnect(peer, why);
    session.opponent = nullptr;
    sayOnConsole("The bout with %s cannot go on.\n", session.opponentName.c_str());
    endWithLostConnection();
}

void refuseAsTaken(ENetPeer* peer) {
    tellAboutStranger("Refused %s: %s is already the opponent.\n",
                      addressText(peer->address).c_str(), session.opponentName.c_str());
    closeStranger(peer, opponentAlreadyThere);
}

// Every stranger says this game's hello first and is answered with the host's; the first to
// give a name is the opponent, and the others are told that the seat is taken. A stranger that
// says hello and nothing more keeps nobody out.
void takeFromStranger(ENetPeer* peer, const Message& message) {
    StrangerSlot& slot = slotOf(peer);
    if (!slot.greeted) {
        if (message.kind != MessageKind::hello) {
            refuse(peer, notThisGame, "a first message that is not The Lamevo's");
        } else if (message.version != PROTOCOL_VERSION) {
            const std::string what = "version " + std::to_string(message.version) +
                                     " of the game's messages, and this game speaks version " +
                                     std::to_string(PROTOCOL_VERSION);
            refuse(peer, notThisGame, what.c_str());
        } else if (session.opponent != nullptr) {
            refuseAsTaken(peer);
        } else {
            slot.greeted = true;
            send(peer, {.kind = MessageKind::hello, .version = PROTOCOL_VERSION});
            send(peer, {.kind = MessageKind::name, .text = session.ownName});
        }
        return;
    }
    if (message.kind != MessageKind::name) {
        refuse(peer, badMessage, "a message out of turn");
    } else if (session.opponent != nullptr) {
        refuseAsTaken(peer);
    } else {
        session.opponent = peer;
        session.opponentName = message.text;
        session.opponentNamed = true;
        sayHowConnected(*peer);
        for (ENetPeer* other = session.host->peers;
             other < session.host->peers + session.host->peerCount; ++other) {
            if (other != peer && other->state == ENET_PEER_STATE_CONNECTED &&
                slotOf(other).greeted && !slotOf(other).closing) {
                refuseAsTaken(other);
            }
        }
    }
}

void takeFromJoiner(ENetPeer* peer, const Message& message) {
    if (peer != session.opponent) {
        takeFromStranger(peer, message);
        return;
    }
    switch (message.kind) {
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
        // A host's name that this terminal cannot print safely is shown in a neutral form.
        session.opponentName = nameFault(message.text) == nullptr ? std::string(message.text)
                                                                  : neutralName(message.text);
        session.opponentNamed = true;
        sayHowConnected(*session.opponent);
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

LinkLoss lossSoFar() {
    return {.hosting = session.hosting,
            .connected = session.connected,
            .throughMeet = meetServerChosen(),
            .address = session.address,
            .port = session.port,
            .opponent = session.opponentNamed ? session.opponentName : ""};
}

void lose(ENetPeer* peer, enet_uint32 reason) {
    if (session.hosting && peer != session.opponent) {
        // ENet has reset the slot by now: its record is the connection's last.
        const StrangerSlot& slot =
            session.slots[static_cast<std::size_t>(peer - session.host->peers)];
        if (slot.inUse && slot.greeted && !slot.closing) {
            tellAboutStranger("%s left before giving a name; waiting on.\n",
                              addressText(peer->address).c_str());
        }
        return;
    }
    if (peer != session.opponent) {
        return;
    }
    session.opponent = nullptr;
    if (session.leaving) {
        return;
    }
    LinkLoss loss = lossSoFar();
    loss.refusal = reason;
    loss.boutWon = bout.leftWon == 1 || bout.rightWon == 1;
    const std::string line = lossLine(loss);
    if (line.empty()) {
        // The host ends ten seconds after the win; so does the joiner.
        session.endProcess(0);
    }
    sayOnConsole("%s", line.c_str());
    endWithLostConnection();
}

void handle(ENetEvent& event) {
    if (isMeetEvent(event)) {
        takeMeetEvent(event);
        return;
    }
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
        enet_peer_timeout(event.peer, PEER_TIMEOUT_LIMIT, PEER_TIMEOUT_MILLISECONDS,
                          PEER_TIMEOUT_MILLISECONDS);
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

void keepResendsFrequent() {
    for (ENetPeer* peer = session.host->peers; peer < session.host->peers + session.host->peerCount;
         ++peer) {
        if (peer->state != ENET_PEER_STATE_DISCONNECTED) {
            capResendWaits(*peer);
        }
    }
}

// Handles what has arrived, waiting up to timeout for the first of it.
void serviceEvents(int timeoutMilliseconds) {
    keepResendsFrequent();
    if (ENetPeer* switched = meetStep(session.host, session.opponent)) {
        session.opponent = switched;
    }
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
    if (session.hosting) {
        watchStrangers();
    }
}

void waitUntil(const bool& condition) {
    while (!condition) {
        serviceEvents(SERVICE_INTERVAL_MILLISECONDS);
    }
}

// A peer's datagram goes to ENet when its slot's peer sent it, and so does a CONNECT from an
// address with no other connection waiting; everything else is dropped here, so junk costs
// next to nothing.
int interceptDatagram(ENetHost* host, ENetEvent*) {
    const ScreenedDatagram datagram =
        screenDatagram(host->receivedData, host->receivedDataLength, host->peerCount);
    switch (datagram.kind) {
    case DatagramKind::forPeer:
        // A closed connection's late datagrams are nobody's fault: dropped without a word.
        return isFromItsPeer(*host, datagram) ? 0 : 1;
    case DatagramKind::compressedConnect:
        if (!mayDecompressConnect(session.compressedConnects, controlHooks.nowMilliseconds())) {
            break;
        }
        [[fallthrough]];
    case DatagramKind::connect:
        if (!hasWaitingConnection(*host, session.opponent)) {
            return 0;
        }
        tellAboutDatagram("another connection from its address is waiting");
        return 1;
    case DatagramKind::junk:
        break;
    }
    tellAboutDatagram(nullptr);
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

// The joiner's terminal gets the text without what a terminal would act on, in messages that
// end on whole characters: a character the buffer cut in two waits for its other half.
void sendConsoleText(std::string_view text) {
    session.unsentConsoleText.append(text);
    const std::size_t whole = wholeCharactersLength(session.unsentConsoleText);
    const std::string safe =
        safeConsoleText(std::string_view(session.unsentConsoleText).substr(0, whole));
    session.unsentConsoleText.erase(0, whole);
    for (const std::string_view piece : consoleTextPieces(safe)) {
        sendToOpponent({.kind = MessageKind::console, .text = piece});
    }
}

ssize_t writeToBothConsoles(void*, const char* text, std::size_t size) {
    std::fwrite(text, 1, size, session.realStdout);
    std::fflush(session.realStdout);
    sendConsoleText({text, size});
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

// The router's answer, keeping the link alive meanwhile; a router that takes longer than this
// is reported as not having answered yet.
constexpr Milliseconds ROUTER_ANSWER_PATIENCE_MILLISECONDS = 8000;

RouterOutcome awaitRouter() {
    const Milliseconds giveUp =
        controlHooks.nowMilliseconds() + ROUTER_ANSWER_PATIENCE_MILLISECONDS;
    RouterOutcome outcome = routerOutcome(0);
    while (outcome.way == RouterWay::asking && controlHooks.nowMilliseconds() < giveUp) {
        serviceEvents(SERVICE_INTERVAL_MILLISECONDS);
        outcome = routerOutcome(0);
    }
    return outcome;
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

ScreenedDatagram screenDatagram(const std::uint8_t* data, std::size_t size, std::size_t peerSlots) {
    if (size < 2) {
        return {DatagramKind::junk, 0, 0};
    }
    const auto header = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    const auto peerNumber = static_cast<std::uint16_t>(header & ENET_PROTOCOL_MAXIMUM_PEER_ID);
    if (peerNumber < peerSlots) {
        const auto session = static_cast<std::uint8_t>(
            (header & ENET_PROTOCOL_HEADER_SESSION_MASK) >> ENET_PROTOCOL_HEADER_SESSION_SHIFT);
        return {DatagramKind::forPeer, peerNumber, session};
    }
    if (peerNumber != ENET_PROTOCOL_MAXIMUM_PEER_ID) {
        return {DatagramKind::junk, 0, 0};
    }
    if ((header & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) != 0) {
        return {DatagramKind::compressedConnect, 0, 0};
    }
    const std::size_t headerSize = (header & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) != 0 ? 4 : 2;
    const bool isConnect =
        size >= headerSize + sizeof(ENetProtocolConnect) &&
        (data[headerSize] & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_CONNECT;
    return {isConnect ? DatagramKind::connect : DatagramKind::junk, 0, 0};
}

bool mayTellOfStranger(StrangerLines& lines, Milliseconds now) {
    if (lines.untold > 0 || now - lines.lastLine < STRANGER_LINE_INTERVAL_MILLISECONDS) {
        ++lines.untold;
        return false;
    }
    lines.lastLine = now;
    return true;
}

unsigned untoldStrangersDue(StrangerLines& lines, Milliseconds now) {
    if (lines.untold == 0 || now - lines.lastLine < STRANGER_LINE_INTERVAL_MILLISECONDS) {
        return 0;
    }
    const unsigned untold = lines.untold;
    lines.untold = 0;
    lines.lastLine = now;
    return untold;
}

StrangerFate fateOf(const StrangerSlot& slot, Milliseconds now) {
    const Milliseconds waited = now - slot.since;
    if (slot.closing) {
        return waited >= HELLO_DEADLINE_MILLISECONDS ? StrangerFate::letGo : StrangerFate::waits;
    }
    if (!slot.greeted) {
        return waited >= HELLO_DEADLINE_MILLISECONDS ? StrangerFate::noHelloInTime
                                                     : StrangerFate::waits;
    }
    return waited >= NAME_DEADLINE_MILLISECONDS ? StrangerFate::noNameInTime : StrangerFate::waits;
}

bool mayDecompressConnect(CompressedConnects& connects, Milliseconds now) {
    if (now - connects.since >= 1000) {
        connects.since = now;
        connects.count = 0;
    }
    return ++connects.count <= COMPRESSED_CONNECTS_A_SECOND;
}

bool isFromItsPeer(const ENetHost& host, const ScreenedDatagram& datagram) {
    const ENetPeer& peer = host.peers[datagram.peerNumber];
    return peer.state != ENET_PEER_STATE_DISCONNECTED && peer.state != ENET_PEER_STATE_ZOMBIE &&
           peer.address.host == host.receivedAddress.host &&
           peer.address.port == host.receivedAddress.port &&
           (peer.outgoingPeerID >= ENET_PROTOCOL_MAXIMUM_PEER_ID ||
            datagram.session == peer.incomingSessionID);
}

bool hasWaitingConnection(const ENetHost& host, const ENetPeer* opponent) {
    for (const ENetPeer* peer = host.peers; peer < host.peers + host.peerCount; ++peer) {
        if (peer->state != ENET_PEER_STATE_DISCONNECTED && peer != opponent && !isMeetPeer(peer) &&
            peer->address.host == host.receivedAddress.host &&
            peer->address.port != host.receivedAddress.port) {
            return true;
        }
    }
    return false;
}

std::size_t slotToMakeRoom(const ENetHost& host, const std::vector<StrangerSlot>& slots,
                           const ENetPeer* opponent, Milliseconds now) {
    std::size_t longestWaiting = host.peerCount;
    for (std::size_t number = 0; number < host.peerCount; ++number) {
        const ENetPeer& peer = host.peers[number];
        if (peer.state == ENET_PEER_STATE_DISCONNECTED) {
            return host.peerCount;
        }
        if (&peer == opponent || isMeetPeer(&peer) ||
            fateOf(slots[number], now) != StrangerFate::waits) {
            continue;
        }
        if (longestWaiting == host.peerCount || slots[number].since < slots[longestWaiting].since) {
            longestWaiting = number;
        }
    }
    return longestWaiting;
}

void capResendWaits(ENetPeer& peer) {
    ENetList& sent = peer.sentReliableCommands;
    if (enet_list_empty(&sent)) {
        return;
    }
    const enet_uint32 longestWait =
        std::max(LONGEST_RESEND_WAIT_MILLISECONDS, 2 * peer.roundTripTime);
    for (ENetListIterator at = enet_list_begin(&sent); at != enet_list_end(&sent);
         at = enet_list_next(at)) {
        auto* command = reinterpret_cast<ENetOutgoingCommand*>(at);
        command->roundTripTimeout = std::min(command->roundTripTimeout, longestWait);
    }
    const auto* first = reinterpret_cast<const ENetOutgoingCommand*>(enet_list_front(&sent));
    peer.nextTimeout = first->sentTime + first->roundTripTimeout;
}

std::vector<std::string_view> consoleTextPieces(std::string_view text) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        std::size_t length = std::min(LONGEST_CONSOLE_TEXT, text.size());
        while (length < text.size() && (text[length] & 0xC0) == 0x80) {
            --length;
        }
        pieces.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return pieces;
}

std::string lossLine(const LinkLoss& loss) {
    const std::string lost = "\nThe connection to " +
                             (loss.opponent.empty() ? loss.address : loss.opponent) +
                             " was lost: the bout cannot go on.\n";
    if (loss.hosting) {
        return lost;
    }
    if (!loss.connected && loss.throughMeet && !loss.nameOverdue) {
        return "Neither punching through nor the meet server's relay reached the host of room " +
               loss.address + ".\n";
    }
    if (!loss.connected) {
        return "Nobody answered at " + loss.address + ", UDP port " + std::to_string(loss.port) +
               ": is a game hosting there (lamevo --host)?\n";
    }
    const std::string game = "The game at " + loss.address + ":" + std::to_string(loss.port);
    if (loss.nameOverdue) {
        return game + " answered but gave no player's name within 10 seconds: is it The Lamevo?\n";
    }
    switch (loss.refusal) {
    case noRefusal:
        return loss.boutWon ? "" : lost;
    case opponentAlreadyThere:
        return game + " is busy: it already has an opponent.\n";
    case hostBusy:
        return game + " is busy with other connections: try again in a moment.\n";
    case noHelloInTime:
        return game + " did not hear this game's hello within 6 seconds and closed the "
                      "connection.\n";
    case noNameInTime:
        return game + " waited for this player's name for a minute and closed the connection.\n";
    default:
        return game + " refused this game.\n";
    }
}

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
    session.slots.resize(session.host->peerCount);
    session.host->intercept = interceptDatagram;
    // The console's text is most of the traffic, and much of it the same strip over and again.
    enet_host_compress_with_range_coder(session.host);
    announce("\n\tWaiting for an opponent on UDP port %u. They join with\n"
             "\t\tlamevo --join=ADDRESS:%u\n"
             "\twhere ADDRESS is this machine's name or one of its addresses: %s.\n",
             port, port, thisMachinesAddresses().c_str());
    if (routerAsked()) {
        announce("%s", routerAnnouncement(awaitRouter(), port).c_str());
    }
    if (meetServerChosen()) {
        std::string code;
        if (const char* why = openMeetRoom(session.host, port, code, handle)) {
            announce("\t%s\n\tPlayers on this network join as above.\n", why);
        } else {
            announce("\tRoom %s on the meet server: the other player joins with\n"
                     "\t\tlamevo --join=%s --meet=%s\n",
                     code.c_str(), code.c_str(), meetServerName());
        }
    }
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
    const bool meeting = meetServerChosen();
    if (meeting) {
        announce("\n\tJoining room %s through the meet server %s.\n", address, meetServerName());
    } else {
        announce("\n\tJoining the bout hosted at %s, UDP port %u.\n", address, port);
    }

    ENetAddress host{};
    host.port = port;
    if (!meeting && enet_address_set_host(&host, address) != 0) {
        sayOnConsole("The Lamevo cannot find %s: check the host's name or IPv4 address.\n",
                     address);
        std::exit(CONNECTION_LOST_STATUS);
    }
    // Through a meet server: the server's peer and the opponent's.
    session.host = enet_host_create(nullptr, meeting ? 2 : 1, CHANNEL_COUNT, 0, 0);
    if (session.host == nullptr) {
        sayOnConsole("The Lamevo could not open a UDP socket.\n");
        std::exit(CONNECTION_LOST_STATUS);
    }
    // The joiner reads the host's compressed datagrams but compresses none of its own: the
    // host takes a connection only from an uncompressed CONNECT.
    const ENetCompressor readOnly = {.context = enet_range_coder_create(),
                                     .compress = nullptr,
                                     .decompress = enet_range_coder_decompress,
                                     .destroy = enet_range_coder_destroy};
    if (readOnly.context == nullptr) {
        sayOnConsole("The Lamevo could not start its networking.\n");
        std::exit(CONNECTION_LOST_STATUS);
    }
    enet_host_compress(session.host, &readOnly);
    std::string why = "The Lamevo could not start a connection to " + std::string(address) + ".";
    session.opponent = meeting ? joinMeetRoom(session.host, address, why, handle)
                               : enet_host_connect(session.host, &host, CHANNEL_COUNT, 0);
    if (session.opponent == nullptr && meeting) {
        sayOnConsole("%s\n", why.c_str());
        std::exit(CONNECTION_LOST_STATUS);
    }
    if (session.opponent == nullptr) {
        sayOnConsole("The Lamevo could not start a connection to %s.\n", address);
        std::exit(CONNECTION_LOST_STATUS);
    }
    enet_peer_timeout(session.opponent, PEER_TIMEOUT_LIMIT, PEER_TIMEOUT_MILLISECONDS,
                      PEER_TIMEOUT_MILLISECONDS);
    const Milliseconds giveUp = controlHooks.nowMilliseconds() + JOIN_DEADLINE_MILLISECONDS;
    while (!session.opponentNamed) {
        if (controlHooks.nowMilliseconds() >= giveUp) {
            LinkLoss loss = lossSoFar();
            loss.nameOverdue = true;
            sayOnConsole("%s", lossLine(loss).c_str());
            endWithLostConnection();
        }
        serviceEvents(SERVICE_INTERVAL_MILLISECONDS);
    }
    *firstName = copyOf(session.opponentName);
    *secondName = askSecondName(console, *firstName);
    if (nameFault(*secondName) != nullptr) {
        // The host takes only a name it can print safely: this one, made so, shows on both.
        *secondName = copyOf(neutralName(*secondName));
    }
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
    const ENetPeer& peer = *session.opponent;
    return equalFootingDelay(peer.roundTripTime, peer.lowestRoundTripTime, peer.lastRoundTripTime);
}

Milliseconds equalFootingDelay(std::uint32_t smoothedRoundTrip, std::uint32_t leastRecentRoundTrip,
                               std::uint32_t lastRoundTrip) {
    // ENet's smoothed round trip swings by tens of milliseconds on a quiet link; the least one
    // it saw over this and the last few seconds is the link's own.
    const std::uint32_t roundTrip =
        std::min({smoothedRoundTrip, leastRecentRoundTrip, lastRoundTrip});
    return std::min<Milliseconds>(roundTrip / 2, LONGEST_OWN_PRESS_DELAY);
}

// The meet's messages and room codes, and the game's side of a meeting: one meeting per process.
#include "meet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t ADDRESS_BYTES = 6;

struct Meeting {
    bool chosen = false;
    std::string serverName;
    ENetAddress server{};
    ENetPeer* serverPeer = nullptr;
    std::vector<std::uint8_t> request; // sent once the server's connection is up
    bool answered = false;
    MeetMessage answer;
    std::string code;
    bool introduced = false;
    MeetMessage introduction;
    ENetAddress target{}; // where the other game is reached without the relay
    MeetSchedule schedule;
    ENetInterceptCallback screen = nullptr;
};
Meeting meeting;

long long now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void putAddress(std::vector<std::uint8_t>& bytes, const ENetAddress& address) {
    const auto* host = reinterpret_cast<const std::uint8_t*>(&address.host);
    bytes.insert(bytes.end(), host, host + 4);
    bytes.push_back(static_cast<std::uint8_t>(address.port >> 8));
    bytes.push_back(static_cast<std::uint8_t>(address.port & 0xFF));
}

ENetAddress takeAddress(const std::uint8_t* bytes) {
    ENetAddress address{};
    std::memcpy(&address.host, bytes, 4);
    address.port = static_cast<enet_uint16>(bytes[4] << 8 | bytes[5]);
    return address;
}

bool sameAddress(const ENetAddress& a, const ENetAddress& b) {
    return a.host == b.host && a.port == b.port;
}

void sendRaw(ENetHost* host, const ENetAddress& to, const std::string& bytes) {
    ENetBuffer buffer{};
    buffer.data = const_cast<char*>(bytes.data());
    buffer.dataLength = bytes.size();
    enet_socket_send(host->socket, &to, &buffer, 1);
}

void sendToServer(const MeetMessage& message) {
    if (meeting.serverPeer == nullptr) {
        return;
    }
    const std::vector<std::uint8_t> bytes = encodeMeet(message);
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (packet != nullptr && enet_peer_send(meeting.serverPeer, 0, packet) != 0) {
        enet_packet_destroy(packet);
    }
}

// Punches arrive beside ENet's datagrams and go no further.
int screenMeetDatagrams(ENetHost* host, ENetEvent* event) {
    if (isPunch(host->receivedData, host->receivedDataLength)) {
        return 1;
    }
    return meeting.screen != nullptr ? meeting.screen(host, event) : 0;
}

// This machine's own address towards the server, and the port of host's socket.
ENetAddress ownAddress(ENetHost* host) {
    ENetAddress own{};
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (getsockname(host->socket, reinterpret_cast<sockaddr*>(&bound), &size) == 0) {
        own.port = ntohs(bound.sin_port);
    }
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    if (probe >= 0) {
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = meeting.server.host;
        server.sin_port = htons(meeting.server.port);
        sockaddr_in local{};
        size = sizeof local;
        if (connect(probe, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0 &&
            getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
            own.host = local.sin_addr.s_addr;
        }
        close(probe);
    }
    return own;
}

// Starts the meeting on host and waits for the server's first answer.
bool awaitServer(ENetHost* host, const MeetMessage& request, std::string& why,
                 void (*others)(ENetEvent&)) {
    meeting.screen = host->intercept;
    host->intercept = screenMeetDatagrams;
    meeting.request = encodeMeet(request);
    meeting.serverPeer = enet_host_connect(host, &meeting.server, 1, 0);
    if (meeting.serverPeer == nullptr) {
        why = "The Lamevo could not start a connection to the meet server.";
        return false;
    }
    const long long giveUp = now() + MEET_ANSWER_MILLISECONDS;
    while (now() < giveUp) {
        ENetEvent event;
        if (enet_host_service(host, &event, 20) > 0) {
            if (isMeetEvent(event)) {
                takeMeetEvent(event);
            } else if (others != nullptr) {
                others(event);
            }
        }
        if (meeting.answered) {
            break;
        }
    }
    if (!meeting.answered) {
        why = "The meet server " + meeting.serverName +
              " did not answer: is lamevo-meet running "
              "there, and UDP port " +
              std::to_string(meeting.server.port) + " open?";
        return false;
    }
    if (meeting.answer.kind == MeetKind::refused) {
        why = "The meet server " + meeting.serverName + " " +
              meetRefusalText(meeting.answer.refusal) + ".";
        return false;
    }
    return true;
}

} // namespace

std::string roomCodeFrom(const std::uint32_t* random) {
    std::string code;
    for (std::size_t index = 0; index < ROOM_CODE_LENGTH; ++index) {
        code += ROOM_CODE_LETTERS[random[index] % ROOM_CODE_LETTERS.size()];
    }
    return code;
}

std::optional<std::string> readRoomCode(std::string_view text) {
    if (text.size() != ROOM_CODE_LENGTH) {
        return std::nullopt;
    }
    std::string code;
    for (const char letter : text) {
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
        if (ROOM_CODE_LETTERS.find(upper) == std::string_view::npos) {
            return std::nullopt;
        }
        code += upper;
    }
    return code;
}

std::vector<std::uint8_t> encodeMeet(const MeetMessage& message) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(message.kind)};
    switch (message.kind) {
    case MeetKind::open:
        putAddress(bytes, message.own);
        break;
    case MeetKind::room:
        bytes.insert(bytes.end(), message.code.begin(), message.code.end());
        break;
    case MeetKind::join:
        bytes.insert(bytes.end(), message.code.begin(), message.code.end());
        putAddress(bytes, message.own);
        break;
    case MeetKind::meet:
        putAddress(bytes, message.outside);
        putAddress(bytes, message.own);
        bytes.push_back(message.sameRouter ? 1 : 0);
        break;
    case MeetKind::relay:
        break;
    case MeetKind::refused:
        bytes.push_back(static_cast<std::uint8_t>(message.refusal));
        break;
    }
    return bytes;
}

bool decodeMeet(const std::uint8_t* bytes, std::size_t size, MeetMessage& message) {
    if (size == 0) {
        return false;
    }
    message = {};
    message.kind = static_cast<MeetKind>(bytes[0]);
    const std::uint8_t* body = bytes + 1;
    const std::size_t bodySize = size - 1;
    const auto codeAt = [&](std::size_t offset) {
        const std::optional<std::string> code =
            readRoomCode({reinterpret_cast<const char*>(body + offset), ROOM_CODE_LENGTH});
        // Codes travel in upper case only.
        if (!code || std::memcmp(code->data(), body + offset, ROOM_CODE_LENGTH) != 0) {
            return false;
        }
        message.code = *code;
        return true;
    };
    switch (message.kind) {
    case MeetKind::open:
        if (bodySize != ADDRESS_BYTES) {
            return false;
        }
        message.own = takeAddress(body);
        return true;
    case MeetKind::room:
        return bodySize == ROOM_CODE_LENGTH && codeAt(0);
    case MeetKind::join:
        if (bodySize != ROOM_CODE_LENGTH + ADDRESS_BYTES || !codeAt(0)) {
            return false;
        }
        message.own = takeAddress(body + ROOM_CODE_LENGTH);
        return true;
    case MeetKind::meet:
        if (bodySize != 2 * ADDRESS_BYTES + 1 || body[2 * ADDRESS_BYTES] > 1) {
            return false;
        }
        message.outside = takeAddress(body);
        message.own = takeAddress(body + ADDRESS_BYTES);
        message.sameRouter = body[2 * ADDRESS_BYTES] == 1;
        return true;
    case MeetKind::relay:
        return bodySize == 0;
    case MeetKind::refused:
        if (bodySize != 1 || body[0] < static_cast<std::uint8_t>(MeetRefusal::noSuchRoom) ||
            body[0] > static_cast<std::uint8_t>(MeetRefusal::serverFull)) {
            return false;
        }
        message.refusal = static_cast<MeetRefusal>(body[0]);
        return true;
    }
    return false;
}

const char* meetRefusalText(MeetRefusal refusal) {
    switch (refusal) {
    case MeetRefusal::noSuchRoom:
        return "has no room of that code (the host's console shows it)";
    case MeetRefusal::roomTaken:
        return "says that room has its opponent already";
    case MeetRefusal::tooMany:
        return "refused: this address has too many rooms or connections there";
    case MeetRefusal::badMessage:
        return "refused what this game sent";
    case MeetRefusal::serverFull:
        return "is full";
    }
    return "refused";
}

bool isPunch(const std::uint8_t* bytes, std::size_t size) {
    return size == PUNCH_DATAGRAM.size() &&
           std::memcmp(bytes, PUNCH_DATAGRAM.data(), PUNCH_DATAGRAM.size()) == 0;
}

std::optional<std::pair<std::string, char>> readBinding(const std::uint8_t* bytes,
                                                        std::size_t size) {
    if (size != BIND_PREFIX.size() + ROOM_CODE_LENGTH + 1 ||
        std::memcmp(bytes, BIND_PREFIX.data(), BIND_PREFIX.size()) != 0) {
        return std::nullopt;
    }
    const std::string_view code(reinterpret_cast<const char*>(bytes) + BIND_PREFIX.size(),
                                ROOM_CODE_LENGTH);
    const std::optional<std::string> read = readRoomCode(code);
    const char side = static_cast<char>(bytes[size - 1]);
    if (!read || *read != code || (side != 'h' && side != 'j')) {
        return std::nullopt;
    }
    return std::pair{*read, side};
}

ENetAddress relayOf(const ENetAddress& server) {
    ENetAddress relay = server;
    relay.port = static_cast<enet_uint16>(server.port + RELAY_PORT_OFFSET);
    return relay;
}

ENetAddress meetTarget(const MeetMessage& introduction) {
    return introduction.sameRouter ? introduction.own : introduction.outside;
}

MeetUse meetUse(MeetKind kind, bool hosting, bool answered) {
    switch (kind) {
    case MeetKind::room:
        return hosting && !answered ? MeetUse::answer : MeetUse::ignored;
    case MeetKind::refused:
        return answered ? MeetUse::ignored : MeetUse::answer;
    case MeetKind::meet:
        return MeetUse::introduction;
    case MeetKind::relay:
        return MeetUse::relay;
    case MeetKind::open:
    case MeetKind::join:
        break;
    }
    return MeetUse::ignored;
}

void startPunching(MeetSchedule& schedule, long long now) {
    schedule.punchesUntil = now + PUNCH_PATIENCE_MILLISECONDS + 1000;
    schedule.nextPunch = now;
}

void startRelaying(MeetSchedule& schedule, long long now) {
    schedule.relaying = true;
    schedule.bindsUntil = now + MEET_ANSWER_MILLISECONDS;
    schedule.nextBind = now;
}

MeetSends meetDue(MeetSchedule& schedule, long long now, bool waiting) {
    MeetSends due;
    if (schedule.hosting && !schedule.relaying && now < schedule.punchesUntil &&
        now >= schedule.nextPunch) {
        due.punch = true;
        schedule.nextPunch = now + PUNCH_INTERVAL_MILLISECONDS;
    }
    if (schedule.relaying && now < schedule.bindsUntil && now >= schedule.nextBind) {
        due.bind = true;
        schedule.nextBind = now + PUNCH_INTERVAL_MILLISECONDS;
    }
    if (waiting && !schedule.askedForRelay && now >= schedule.gaveUpPunchingAt) {
        due.askRelay = true;
        schedule.askedForRelay = true;
        startRelaying(schedule, now);
    }
    return due;
}

MeetWay meetWayOf(bool relaying, bool atRelay, bool introduced, bool sameRouter) {
    if (relaying && atRelay) {
        return MeetWay::relayed;
    }
    if (!introduced) {
        return MeetWay::none;
    }
    return sameRouter ? MeetWay::sameRouter : MeetWay::punched;
}

bool relayAllows(RelayCount& count, long long now, std::size_t perSecond) {
    if (count.second != now / 1000) {
        count.second = now / 1000;
        count.count = 0;
    }
    return ++count.count <= perSecond;
}

bool bindsItsOwnSide(char side, std::uint32_t from, std::uint32_t host, std::uint32_t joiner) {
    return from == (side == 'h' ? host : joiner);
}

bool roomIsSpent(const RoomAge& room, long long now, long long idleMilliseconds) {
    if (room.joined) {
        return false;
    }
    return room.relaying ? now - room.relayedAt > RELAY_IDLE_MILLISECONDS
                         : now - room.openedAt > idleMilliseconds;
}

bool mayBeEnet(const std::uint8_t* bytes, std::size_t size, std::size_t peerCount) {
    // A peer number (0x0FFF while connecting) with flags, then commands.
    if (size < 6) {
        return false;
    }
    const std::size_t peerNumber = (bytes[0] << 8 | bytes[1]) & 0x0FFF;
    return peerNumber == 0x0FFF || peerNumber < peerCount;
}

bool useMeetServer(const char* server) {
    std::string name = server;
    std::uint16_t port = MEET_DEFAULT_PORT;
    if (const std::size_t colon = name.find(':'); colon != std::string::npos) {
        const std::string portText = name.substr(colon + 1);
        char* end = nullptr;
        const unsigned long number = std::strtoul(portText.c_str(), &end, 10);
        if (portText.empty() || *end != '\0' || number == 0 || number >= 65535) {
            return false;
        }
        port = static_cast<std::uint16_t>(number);
        name.resize(colon);
    }
    meeting.server.port = port;
    if (name.empty() || enet_address_set_host(&meeting.server, name.c_str()) != 0) {
        return false;
    }
    meeting.serverName = server;
    meeting.chosen = true;
    return true;
}

bool meetServerChosen() {
    return meeting.chosen;
}

const char* meetServerName() {
    return meeting.serverName.c_str();
}

const char* openMeetRoom(ENetHost* host, std::uint16_t, std::string& code,
                         void (*others)(ENetEvent&)) {
    static std::string why;
    meeting.schedule.hosting = true;
    if (!awaitServer(host, {.kind = MeetKind::open, .own = ownAddress(host)}, why, others)) {
        return why.c_str();
    }
    code = meeting.code;
    return nullptr;
}

ENetPeer* joinMeetRoom(ENetHost* host, const std::string& code, std::string& why,
                       void (*others)(ENetEvent&)) {
    meeting.code = code;
    if (!awaitServer(host, {.kind = MeetKind::join, .code = code, .own = ownAddress(host)}, why,
                     others)) {
        return nullptr;
    }
    ENetPeer* peer = enet_host_connect(host, &meeting.target, 1, 0);
    if (peer == nullptr) {
        why = "The Lamevo could not start a connection to the host.";
    }
    meeting.schedule.gaveUpPunchingAt = now() + PUNCH_PATIENCE_MILLISECONDS;
    return peer;
}

bool isMeetEvent(const ENetEvent& event) {
    return event.peer != nullptr && event.peer == meeting.serverPeer;
}

bool isMeetPeer(const ENetPeer* peer) {
    return peer != nullptr && peer == meeting.serverPeer;
}

void takeMeetEvent(ENetEvent& event) {
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT: {
        ENetPacket* packet = enet_packet_create(meeting.request.data(), meeting.request.size(),
                                                ENET_PACKET_FLAG_RELIABLE);
        if (packet != nullptr && enet_peer_send(event.peer, 0, packet) != 0) {
            enet_packet_destroy(packet);
        }
        break;
    }
    case ENET_EVENT_TYPE_RECEIVE: {
        MeetMessage message;
        const bool understood = decodeMeet(event.packet->data, event.packet->dataLength, message);
        enet_packet_destroy(event.packet);
        const MeetUse use = understood
                                ? meetUse(message.kind, meeting.schedule.hosting, meeting.answered)
                                : MeetUse::ignored;
        if (use == MeetUse::answer || (use == MeetUse::introduction && !meeting.schedule.hosting)) {
            meeting.answer = message;
            meeting.answered = true;
        }
        if (use == MeetUse::answer && message.kind == MeetKind::room) {
            meeting.code = message.code;
        } else if (use == MeetUse::introduction) {
            meeting.introduction = message;
            meeting.introduced = true;
            meeting.target = meetTarget(message);
            startPunching(meeting.schedule, now());
        } else if (use == MeetUse::relay) {
            startRelaying(meeting.schedule, now());
        }
        break;
    }
    case ENET_EVENT_TYPE_DISCONNECT:
        meeting.serverPeer = nullptr;
        break;
    case ENET_EVENT_TYPE_NONE:
        break;
    }
}

ENetPeer* meetStep(ENetHost* host, ENetPeer* opponent) {
    if (!meeting.introduced) {
        return nullptr;
    }
    const bool waiting = !meeting.schedule.hosting && opponent != nullptr &&
                         opponent->state != ENET_PEER_STATE_CONNECTED;
    const MeetSends due = meetDue(meeting.schedule, now(), waiting);
    const ENetAddress relay = relayOf(meeting.server);
    if (due.punch) {
        sendRaw(host, meeting.target, std::string(PUNCH_DATAGRAM));
    }
    if (due.bind) {
        sendRaw(host, relay,
                std::string(BIND_PREFIX) + meeting.code + (meeting.schedule.hosting ? 'h' : 'j'));
    }
    if (!due.askRelay) {
        return nullptr;
    }
    enet_peer_reset(opponent);
    // The server tells the host to bind too.
    sendToServer({.kind = MeetKind::relay});
    return enet_host_connect(host, &relay, 1, 0);
}

MeetWay meetWay(const ENetPeer& peer) {
    return meetWayOf(meeting.schedule.relaying, sameAddress(peer.address, relayOf(meeting.server)),
                     meeting.introduced, meeting.introduction.sameRouter);
}

const char* meetWayText(MeetWay way) {
    switch (way) {
    case MeetWay::punched:
        return "punched through both routers";
    case MeetWay::sameRouter:
        return "over your own network (the same router)";
    case MeetWay::relayed:
        return "relayed by the meet server";
    case MeetWay::none:
        break;
    }
    return "directly";
}

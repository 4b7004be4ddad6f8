// lamevo-meet: the meet server. Keeps the open rooms (code, host, joiner, their addresses) and
// the relay's pairs, nothing else; forgets a room when its host leaves or when nobody has joined
// it for ROOM_IDLE_SECONDS. Limits rooms and connections per address, and the relay's datagrams
// per address; refuses what is not the meet's messages.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <enet/enet.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

#include "meet.h"

namespace {

constexpr std::size_t PEER_SLOTS = 4000;
constexpr int USAGE_STATUS = 2;

struct Limits {
    std::size_t rooms = 1000;
    std::size_t roomsPerAddress = 8;
    std::size_t connectionsPerAddress = 16;
    // A bout sends a few dozen datagrams a second each way.
    std::size_t relayDatagramsPerSecond = 200;
    // A room nobody joins is forgotten after this long.
    std::size_t roomIdleSeconds = 300;
};

struct Room {
    ENetPeer* host = nullptr;
    ENetAddress hostOwn{};
    ENetPeer* joiner = nullptr;
    ENetAddress joinerOwn{};
    std::uint32_t joinerMachine = 0; // the joiner's IPv4 address as this server sees it
    long long openedAt = 0;
    bool relaying = false;
    // Where each side bound to the relay; port 0 until it has (no datagram comes from port 0).
    ENetAddress relayHost{}, relayJoiner{};
    long long relayedAt = 0;
};

struct Server {
    Limits limits;
    ENetHost* host = nullptr;
    int relaySocket = -1;
    std::map<std::string, Room> rooms;
    std::mt19937 random{std::random_device{}()};
    // The relay's bound addresses (IPv4 and port), to their rooms.
    std::unordered_map<std::uint64_t, std::string> relayIndex;
    // Per address (IPv4): relay datagrams this second.
    std::unordered_map<std::uint32_t, RelayCount> relayCounts;
    long long lastRefusalLine = 0;
};
Server server;
volatile std::sig_atomic_t stopping = 0;

long long nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string addressText(const ENetAddress& address) {
    char text[64] = "?";
    enet_address_get_host_ip(&address, text, sizeof text);
    return std::string(text) + ":" + std::to_string(address.port);
}

void say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// One refusal line a second at most, however many come.
void sayRefusal(const std::string& line) {
    const long long now = nowMilliseconds();
    if (now - server.lastRefusalLine >= 1000) {
        say(line);
        server.lastRefusalLine = now;
    }
}

void send(ENetPeer* peer, const MeetMessage& message) {
    const std::vector<std::uint8_t> bytes = encodeMeet(message);
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (packet != nullptr && enet_peer_send(peer, 0, packet) != 0) {
        enet_packet_destroy(packet);
    }
}

void refuse(ENetPeer* peer, MeetRefusal why) {
    send(peer, {.kind = MeetKind::refused, .refusal = why});
    enet_peer_disconnect_later(peer, 0);
}

std::string newCode() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint32_t random[ROOM_CODE_LENGTH];
        for (std::uint32_t& number : random) {
            number = server.random();
        }
        std::string code = roomCodeFrom(random);
        if (!server.rooms.contains(code)) {
            return code;
        }
    }
    return "";
}

std::size_t roomsOf(std::uint32_t address) {
    std::size_t count = 0;
    for (const auto& [code, room] : server.rooms) {
        count += room.host->address.host == address ? 1 : 0;
    }
    return count;
}

std::size_t connectionsOf(std::uint32_t address) {
    std::size_t count = 0;
    for (std::size_t index = 0; index < server.host->peerCount; ++index) {
        const ENetPeer& peer = server.host->peers[index];
        // Those whose connection has been handled; the one being handled counts too.
        count += peer.state == ENET_PEER_STATE_CONNECTED && peer.address.host == address;
    }
    return count;
}

Room* roomOf(ENetPeer* peer, bool* isHost) {
    for (auto& [code, room] : server.rooms) {
        if (room.host == peer || room.joiner == peer) {
            *isHost = room.host == peer;
            return &room;
        }
    }
    return nullptr;
}

std::uint64_t relayKey(const ENetAddress& address) {
    return std::uint64_t{address.host} << 16 | address.port;
}

void eraseRoom(std::map<std::string, Room>::iterator room) {
    // A side not bound has no entry to erase.
    server.relayIndex.erase(relayKey(room->second.relayHost));
    server.relayIndex.erase(relayKey(room->second.relayJoiner));
    server.rooms.erase(room);
}

void introduce(Room& room) {
    const bool sameRouter = room.host->address.host == room.joiner->address.host;
    send(room.host, {.kind = MeetKind::meet,
                     .outside = room.joiner->address,
                     .own = room.joinerOwn,
                     .sameRouter = sameRouter});
    send(room.joiner, {.kind = MeetKind::meet,
                       .outside = room.host->address,
                       .own = room.hostOwn,
                       .sameRouter = sameRouter});
}

void take(ENetPeer* peer, const ENetPacket& packet) {
    MeetMessage message;
    if (!decodeMeet(packet.data, packet.dataLength, message)) {
        sayRefusal("Refused " + addressText(peer->address) + ": it sent what is not the meet's.");
        refuse(peer, MeetRefusal::badMessage);
        return;
    }
    bool isHost = false;
    Room* already = roomOf(peer, &isHost);
    if (message.kind == MeetKind::open && already == nullptr) {
        if (server.rooms.size() >= server.limits.rooms) {
            refuse(peer, MeetRefusal::serverFull);
            return;
        }
        if (roomsOf(peer->address.host) >= server.limits.roomsPerAddress) {
            refuse(peer, MeetRefusal::tooMany);
            return;
        }
        const std::string code = newCode();
        if (code.empty()) {
            refuse(peer, MeetRefusal::serverFull);
            return;
        }
        server.rooms[code] = {.host = peer, .hostOwn = message.own, .openedAt = nowMilliseconds()};
        send(peer, {.kind = MeetKind::room, .code = code});
    } else if (message.kind == MeetKind::join && already == nullptr) {
        const auto found = server.rooms.find(message.code);
        if (found == server.rooms.end()) {
            refuse(peer, MeetRefusal::noSuchRoom);
        } else if (found->second.joiner != nullptr) {
            refuse(peer, MeetRefusal::roomTaken);
        } else {
            found->second.joiner = peer;
            found->second.joinerOwn = message.own;
            found->second.joinerMachine = peer->address.host;
            introduce(found->second);
        }
    } else if (message.kind == MeetKind::relay && already != nullptr && !isHost &&
               !already->relaying) {
        already->relaying = true;
        already->relayedAt = nowMilliseconds();
        send(already->host, {.kind = MeetKind::relay});
    } else {
        sayRefusal("Refused " + addressText(peer->address) + ": it sent a message out of turn.");
        refuse(peer, MeetRefusal::badMessage);
    }
}

void forget(ENetPeer* peer) {
    for (auto room = server.rooms.begin(); room != server.rooms.end(); ++room) {
        if (room->second.host == peer) {
            if (room->second.joiner != nullptr) {
                enet_peer_disconnect_later(room->second.joiner, 0);
            }
            eraseRoom(room);
            return;
        }
        if (room->second.joiner == peer) {
            room->second.joiner = nullptr; // the relay, if any, goes on by address
            return;
        }
    }
}

void handle(ENetEvent& event) {
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
        if (connectionsOf(event.peer->address.host) > server.limits.connectionsPerAddress) {
            refuse(event.peer, MeetRefusal::tooMany);
        }
        break;
    case ENET_EVENT_TYPE_RECEIVE:
        take(event.peer, *event.packet);
        enet_packet_destroy(event.packet);
        break;
    case ENET_EVENT_TYPE_DISCONNECT:
        forget(event.peer);
        break;
    case ENET_EVENT_TYPE_NONE:
        break;
    }
}

// The meet port takes ENet's datagrams only; the rest is refused before ENet reads it.
int screenDatagram(ENetHost* host, ENetEvent*) {
    if (mayBeEnet(host->receivedData, host->receivedDataLength, host->peerCount)) {
        return 0;
    }
    sayRefusal("Refused a datagram from " + addressText(host->receivedAddress) +
               ": it is not the meet's.");
    return 1;
}

void relayDatagrams() {
    std::uint8_t data[ENET_PROTOCOL_MAXIMUM_MTU];
    while (true) {
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t got = recvfrom(server.relaySocket, data, sizeof data, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &size);
        if (got < 0) {
            return;
        }
        const long long now = nowMilliseconds();
        if (!relayAllows(server.relayCounts[from.sin_addr.s_addr], now,
                         server.limits.relayDatagramsPerSecond)) {
            continue;
        }
        const ENetAddress sender{.host = from.sin_addr.s_addr, .port = ntohs(from.sin_port)};
        if (const auto binding = readBinding(data, static_cast<std::size_t>(got))) {
            const auto found = server.rooms.find(binding->first);
            if (found != server.rooms.end() && found->second.relaying &&
                bindsItsOwnSide(binding->second, sender.host, found->second.host->address.host,
                                found->second.joinerMachine)) {
                Room& room = found->second;
                const bool host = binding->second == 'h';
                ENetAddress& bound = host ? room.relayHost : room.relayJoiner;
                server.relayIndex.erase(relayKey(bound));
                bound = sender;
                server.relayIndex[relayKey(sender)] = binding->first;
            }
            continue;
        }
        const auto bound = server.relayIndex.find(relayKey(sender));
        if (bound == server.relayIndex.end()) {
            continue;
        }
        const auto room = server.rooms.find(bound->second);
        if (room == server.rooms.end() || room->second.relayHost.port == 0 ||
            room->second.relayJoiner.port == 0) {
            continue;
        }
        const bool fromHost = relayKey(room->second.relayHost) == relayKey(sender);
        const ENetAddress& to = fromHost ? room->second.relayJoiner : room->second.relayHost;
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = to.host;
        target.sin_port = htons(to.port);
        sendto(server.relaySocket, data, static_cast<std::size_t>(got), 0,
               reinterpret_cast<sockaddr*>(&target), sizeof target);
        room->second.relayedAt = now;
    }
}

void forgetIdleRooms() {
    const long long now = nowMilliseconds();
    for (auto room = server.rooms.begin(); room != server.rooms.end();) {
        const RoomAge age{.joined = room->second.joiner != nullptr,
                          .relaying = room->second.relaying,
                          .openedAt = room->second.openedAt,
                          .relayedAt = room->second.relayedAt};
        if (roomIsSpent(age, now, static_cast<long long>(server.limits.roomIdleSeconds) * 1000)) {
            enet_peer_disconnect_later(room->second.host, 0);
            eraseRoom(room++);
        } else {
            ++room;
        }
    }
    for (auto count = server.relayCounts.begin(); count != server.relayCounts.end();) {
        count = count->second.second < now / 1000 - 1 ? server.relayCounts.erase(count)
                                                      : std::next(count);
    }
}

void stop(int) {
    stopping = 1;
}

bool numberOption(std::string_view word, std::string_view name, std::size_t& value) {
    if (!word.starts_with(name)) {
        return false;
    }
    const std::string text(word.substr(name.size()));
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number == 0) {
        return false;
    }
    value = number;
    return true;
}

void usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: lamevo-meet [--listen=ADDRESS] [--port=N] [--rooms=N]\n"
                 "                   [--rooms-per-address=N] [--connections-per-address=N]\n"
                 "                   [--relay-rate=N] [--room-idle-seconds=N]\n"
                 "The Lamevo's meet server: hands out room codes, introduces host and joiner,\n"
                 "and relays their bout where their routers keep them apart. UDP port N (%u\n"
                 "by default) for the rooms, N+1 for the relay.\n",
                 MEET_DEFAULT_PORT);
}

} // namespace

int main(int argc, char** argv) {
    ENetAddress address{.host = ENET_HOST_ANY, .port = MEET_DEFAULT_PORT};
    for (int index = 1; index < argc; ++index) {
        const std::string_view word = argv[index];
        std::size_t port = 0;
        if (word == "--help") {
            usage(stdout);
            return 0;
        } else if (word.starts_with("--listen=")) {
            if (enet_address_set_host(&address, argv[index] + 9) != 0) {
                std::fprintf(stderr, "lamevo-meet: cannot find the address '%s'.\n",
                             argv[index] + 9);
                return USAGE_STATUS;
            }
        } else if (numberOption(word, "--port=", port) && port < 65535) {
            address.port = static_cast<enet_uint16>(port);
        } else if (!numberOption(word, "--rooms=", server.limits.rooms) &&
                   !numberOption(word, "--rooms-per-address=", server.limits.roomsPerAddress) &&
                   !numberOption(
                       word, "--connections-per-address=", server.limits.connectionsPerAddress) &&
                   !numberOption(word, "--relay-rate=", server.limits.relayDatagramsPerSecond) &&
                   !numberOption(word, "--room-idle-seconds=", server.limits.roomIdleSeconds)) {
            std::fprintf(stderr, "lamevo-meet: unknown option or bad value '%s'.\n", argv[index]);
            usage(stderr);
            return USAGE_STATUS;
        }
    }
    if (enet_initialize() != 0) {
        say("lamevo-meet could not start its networking.");
        return 1;
    }
    server.host = enet_host_create(&address, PEER_SLOTS, 1, 0, 0);
    server.relaySocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in relay{};
    relay.sin_family = AF_INET;
    relay.sin_addr.s_addr = address.host;
    relay.sin_port = htons(relayOf(address).port);
    if (server.host == nullptr || server.relaySocket < 0 ||
        bind(server.relaySocket, reinterpret_cast<sockaddr*>(&relay), sizeof relay) != 0) {
        say("lamevo-meet could not listen on UDP ports " + std::to_string(address.port) + " and " +
            std::to_string(relayOf(address).port) + ": " + std::strerror(errno) + ".");
        return 1;
    }
    // Room for bursts of many bouts' datagrams (the system's net.core.rmem_max bounds it).
    const int relayBuffer = 4 << 20;
    setsockopt(server.relaySocket, SOL_SOCKET, SO_RCVBUF, &relayBuffer, sizeof relayBuffer);
    server.host->intercept = screenDatagram;
    // The games compress what they send.
    enet_host_compress_with_range_coder(server.host);
    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    say("lamevo-meet: rooms on UDP port " + std::to_string(address.port) + ", relay on " +
        std::to_string(relayOf(address).port) + ".");
    long long lastSweep = nowMilliseconds();
    while (stopping == 0) {
        pollfd waits[2] = {{server.host->socket, POLLIN, 0}, {server.relaySocket, POLLIN, 0}};
        poll(waits, 2, 100);
        ENetEvent event;
        while (enet_host_service(server.host, &event, 0) > 0) {
            handle(event);
        }
        if (waits[1].revents != 0) {
            relayDatagrams();
        }
        if (nowMilliseconds() - lastSweep >= 1000) {
            forgetIdleRooms();
            lastSweep = nowMilliseconds();
        }
    }
    enet_host_destroy(server.host);
    close(server.relaySocket);
    enet_deinitialize();
    return 0;
}

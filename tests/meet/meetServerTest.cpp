// lamevo-meet itself, on the loopback: rooms, introductions, refusals, limits, the relay and
// forgetting a room when its host leaves. Games are played by ENet hosts of the test's own;
// every wait is for an event, bounded.
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "meet.h"

extern char** environ;

namespace {

constexpr enet_uint32 PATIENCE_MILLISECONDS = 5000;
// A pair of ports of this process's own, so that two runs of the tests on one machine (a
// developer's and a sanitizers' build, say) keep out of each other's way.
const std::uint16_t SERVER_PORT = static_cast<std::uint16_t>(27380 + getpid() % 1000 * 2);

// The server on SERVER_PORT (and the relay on the next), up once it says so on stderr.
struct ServerProcess {
    pid_t pid = -1;

    explicit ServerProcess(std::vector<std::string> options) {
        int said[2];
        EXPECT_EQ(pipe(said), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, said[1], STDERR_FILENO);
        options.insert(options.begin(), {MEET_PROGRAM, "--listen=127.0.0.1",
                                         "--port=" + std::to_string(SERVER_PORT)});
        std::vector<char*> argv;
        for (std::string& option : options) {
            argv.push_back(option.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid, MEET_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(said[1]);
        pollfd ready{said[0], POLLIN, 0};
        EXPECT_EQ(poll(&ready, 1, PATIENCE_MILLISECONDS), 1);
        char line[200] = "";
        EXPECT_GT(read(said[0], line, sizeof line - 1), 0);
        EXPECT_EQ(std::string(line), "lamevo-meet: rooms on UDP port " +
                                         std::to_string(SERVER_PORT) + ", relay on " +
                                         std::to_string(SERVER_PORT + 1) + ".\n");
        close(said[0]);
    }
    // The server ends on SIGTERM; one that does not fails the test and is killed, so that no
    // server outlives its test.
    ~ServerProcess() {
        kill(pid, SIGTERM);
        const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        pollfd done{ended, POLLIN, 0};
        if (ended < 0 || poll(&done, 1, PATIENCE_MILLISECONDS) != 1) {
            ADD_FAILURE() << "lamevo-meet did not end on SIGTERM";
            kill(pid, SIGKILL);
        }
        if (ended >= 0) {
            close(ended);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
};

// A game's ENet host connected to the server, from the loopback address from (another machine's,
// as the server sees it) or the system's choice.
struct Game {
    ENetHost* host = nullptr;
    ENetPeer* server = nullptr;

    explicit Game(const char* from = nullptr) {
        ENetAddress local{.host = ENET_HOST_ANY, .port = ENET_PORT_ANY};
        if (from != nullptr) {
            enet_address_set_host(&local, from);
        }
        host = enet_host_create(from != nullptr ? &local : nullptr, 2, 1, 0, 0);
        enet_host_compress_with_range_coder(host);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = SERVER_PORT;
        server = enet_host_connect(host, &address, 1, 0);
        ENetEvent event;
        EXPECT_TRUE(enet_host_service(host, &event, PATIENCE_MILLISECONDS) > 0 &&
                    event.type == ENET_EVENT_TYPE_CONNECT);
        // The acknowledgement goes now: the server's connections come in the games' order.
        enet_host_flush(host);
    }
    ~Game() { enet_host_destroy(host); }
    void send(const std::vector<std::uint8_t>& bytes) {
        enet_peer_send(server, 0,
                       enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(host);
    }
    void send(const MeetMessage& message) { send(encodeMeet(message)); }
    // The server's next message; kind 0 when none came, or the server disconnected.
    MeetMessage next() {
        ENetEvent event;
        while (enet_host_service(host, &event, PATIENCE_MILLISECONDS) > 0) {
            if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                MeetMessage message;
                const bool read = decodeMeet(event.packet->data, event.packet->dataLength, message);
                enet_packet_destroy(event.packet);
                EXPECT_TRUE(read);
                return message;
            }
            if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
                break;
            }
        }
        return {.kind = MeetKind{0}};
    }
    std::string openRoom() {
        send({.kind = MeetKind::open, .own = ownAddress()});
        const MeetMessage room = next();
        EXPECT_EQ(room.kind, MeetKind::room);
        return room.code;
    }
    // The port of this game's socket, as the server sees it on the loopback.
    std::uint16_t port() const {
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        getsockname(host->socket, reinterpret_cast<sockaddr*>(&bound), &size);
        return ntohs(bound.sin_port);
    }
    ENetAddress ownAddress() const {
        ENetAddress own{};
        enet_address_set_host(&own, "10.9.8.7");
        own.port = 4321;
        return own;
    }
};

class MeetServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { enet_initialize(); }
};

TEST_F(MeetServer, IntroducesTheJoinerToTheRoomsHost) {
    ServerProcess server({});
    Game host;
    const std::string code = host.openRoom();
    ASSERT_TRUE(readRoomCode(code));
    Game stranger;
    stranger.send({.kind = MeetKind::join,
                   .code = code == "AAAAA" ? "CCCCC" : "AAAAA",
                   .own = stranger.ownAddress()});
    EXPECT_EQ(stranger.next().refusal, MeetRefusal::noSuchRoom);

    Game joiner;
    joiner.send({.kind = MeetKind::join, .code = code, .own = joiner.ownAddress()});
    for (Game* game : {&joiner, &host}) {
        const MeetMessage meet = game->next();
        ASSERT_EQ(meet.kind, MeetKind::meet);
        // Both on this machine: the same router, as the server sees it.
        EXPECT_TRUE(meet.sameRouter);
        EXPECT_EQ(meet.own.port, 4321);
        Game* other = game == &host ? &joiner : &host;
        EXPECT_EQ(meet.outside.port, other->port());
    }
    Game late;
    late.send({.kind = MeetKind::join, .code = code, .own = late.ownAddress()});
    EXPECT_EQ(late.next().refusal, MeetRefusal::roomTaken);
}

TEST_F(MeetServer, RefusesJunkAndMessagesOutOfTurn) {
    ServerProcess server({});
    Game junk;
    junk.send(std::vector<std::uint8_t>{9, 9, 9});
    EXPECT_EQ(junk.next().refusal, MeetRefusal::badMessage);
    Game early;
    early.send({.kind = MeetKind::relay}); // relay before any room
    EXPECT_EQ(early.next().refusal, MeetRefusal::badMessage);
    Game twice;
    twice.openRoom();
    twice.send({.kind = MeetKind::open, .own = twice.ownAddress()});
    EXPECT_EQ(twice.next().refusal, MeetRefusal::badMessage);
    Game serverTalk;
    serverTalk.send({.kind = MeetKind::room, .code = "ACEFH"});
    EXPECT_EQ(serverTalk.next().refusal, MeetRefusal::badMessage);
}

TEST_F(MeetServer, LimitsRoomsPerAddressAndInAll) {
    {
        ServerProcess server({"--rooms-per-address=2"});
        Game first, second, third;
        first.openRoom();
        second.openRoom();
        third.send({.kind = MeetKind::open, .own = third.ownAddress()});
        EXPECT_EQ(third.next().refusal, MeetRefusal::tooMany);
    }
    ServerProcess server({"--rooms=1"});
    Game first, second;
    first.openRoom();
    second.send({.kind = MeetKind::open, .own = second.ownAddress()});
    EXPECT_EQ(second.next().refusal, MeetRefusal::serverFull);
}

TEST_F(MeetServer, LimitsConnectionsPerAddress) {
    ServerProcess server({"--connections-per-address=2"});
    Game first, second, third;
    EXPECT_EQ(third.next().refusal, MeetRefusal::tooMany);
    first.openRoom(); // the first two stay served
}

TEST_F(MeetServer, ForgetsTheRoomWhenItsHostLeaves) {
    ServerProcess server({});
    std::string code;
    {
        Game host;
        code = host.openRoom();
        enet_peer_disconnect(host.server, 0);
        ENetEvent event;
        while (enet_host_service(host.host, &event, PATIENCE_MILLISECONDS) > 0 &&
               event.type != ENET_EVENT_TYPE_DISCONNECT) {
        }
    }
    Game joiner;
    joiner.send({.kind = MeetKind::join, .code = code, .own = joiner.ownAddress()});
    EXPECT_EQ(joiner.next().refusal, MeetRefusal::noSuchRoom);
}

TEST_F(MeetServer, ForgetsARoomNobodyJoins) {
    ServerProcess server({"--room-idle-seconds=1"});
    Game host;
    const std::string code = host.openRoom();
    Game joined;
    const std::string busy = joined.openRoom();
    Game joiner;
    joiner.send({.kind = MeetKind::join, .code = busy, .own = joiner.ownAddress()});
    ASSERT_EQ(joiner.next().kind, MeetKind::meet);
    // The server lets the idle room's host go: that is the sign it forgot the room.
    EXPECT_EQ(host.next().kind, MeetKind{0});
    Game late;
    late.send({.kind = MeetKind::join, .code = code, .own = late.ownAddress()});
    EXPECT_EQ(late.next().refusal, MeetRefusal::noSuchRoom);
    Game second;
    second.send({.kind = MeetKind::join, .code = busy, .own = second.ownAddress()});
    EXPECT_EQ(second.next().refusal, MeetRefusal::roomTaken); // the joined room stays
}

// A plain UDP socket on the loopback, as a game's would be behind the relay; bound to the
// loopback address from (another machine's, as the server sees it) when given.
struct Socket {
    int descriptor = socket(AF_INET, SOCK_DGRAM, 0);
    explicit Socket(const char* from = nullptr) {
        if (from != nullptr) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            EXPECT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        }
    }
    ~Socket() { close(descriptor); }
    void sendTo(std::uint16_t port, const std::string& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        sendto(descriptor, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to);
    }
    void sendToRelay(const std::string& bytes) const {
        sendTo(SERVER_PORT + RELAY_PORT_OFFSET, bytes);
    }
    std::uint16_t port() const {
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&bound), &size);
        return ntohs(bound.sin_port);
    }
    // What arrives within the patience, or "" when nothing does.
    std::string receive(int patience = static_cast<int>(PATIENCE_MILLISECONDS)) const {
        pollfd ready{descriptor, POLLIN, 0};
        if (poll(&ready, 1, patience) != 1) {
            return "";
        }
        char bytes[1500];
        const ssize_t got = recv(descriptor, bytes, sizeof bytes, 0);
        return got > 0 ? std::string(bytes, static_cast<std::size_t>(got)) : "";
    }
};

TEST_F(MeetServer, RelaysBetweenTheBoundSidesOfARoomThatAskedForIt) {
    ServerProcess server({});
    Game host;
    const std::string code = host.openRoom();
    // The joiner on another machine, as the server sees it.
    Game joiner("127.0.0.2");
    joiner.send({.kind = MeetKind::join, .code = code, .own = joiner.ownAddress()});
    ASSERT_EQ(joiner.next().kind, MeetKind::meet);
    ASSERT_EQ(host.next().kind, MeetKind::meet);
    Socket hostSide("127.0.0.1"), joinerSide("127.0.0.2"), stranger("127.0.0.3");
    joiner.send({.kind = MeetKind::relay});
    ASSERT_EQ(host.next().kind, MeetKind::relay);
    joinerSide.sendToRelay("LMVB" + code + "j");
    joinerSide.sendToRelay("to nobody yet");
    hostSide.sendToRelay("LMVB" + code + "h");
    // The server binds in the order the datagrams come; one round trip settles it.
    joinerSide.sendToRelay("to the host");
    EXPECT_EQ(hostSide.receive(), "to the host");
    hostSide.sendToRelay("to the joiner");
    EXPECT_EQ(joinerSide.receive(), "to the joiner");
    stranger.sendToRelay("LMVB" + code + "x");
    stranger.sendToRelay("from a stranger");
    joinerSide.sendToRelay("again");
    EXPECT_EQ(hostSide.receive(), "again"); // the stranger's came first and went nowhere
    // A stranger with the code takes neither side's place; the host's own machine may bind
    // again from another port, as a router may give it one.
    stranger.sendToRelay("LMVB" + code + "h");
    stranger.sendToRelay("LMVB" + code + "j");
    Socket hostMoved("127.0.0.1");
    hostMoved.sendToRelay("LMVB" + code + "h");
    joinerSide.sendToRelay("to the host's new port");
    EXPECT_EQ(hostMoved.receive(), "to the host's new port");
    EXPECT_EQ(stranger.receive(100), "");
    hostMoved.sendToRelay("still to the joiner");
    EXPECT_EQ(joinerSide.receive(), "still to the joiner");
}

// ---- The game's own side of a meeting, against the server on the loopback ----

// What the game's socket let through to its own intercept (the game's link), from anywhere but
// the meet server's connection, until the test looks.
std::vector<std::string> passedOn;

int keepPassedOn(ENetHost* host, ENetEvent*) {
    if (host->receivedAddress.port == SERVER_PORT) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const char*>(host->receivedData);
    passedOn.emplace_back(bytes, host->receivedDataLength);
    return 1;
}

// A game's ENet host as the game makes it, with the intercept above underneath the meet's.
ENetHost* gameHost() {
    ENetHost* host = enet_host_create(nullptr, 2, 1, 0, 0);
    enet_host_compress_with_range_coder(host);
    host->intercept = keepPassedOn;
    passedOn.clear();
    return host;
}

// Services host as the game's link does, stepping the meeting, until done() or the patience.
template <typename Done> bool serviceUntil(ENetHost* host, ENetPeer*& opponent, Done done) {
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(3 * PATIENCE_MILLISECONDS);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        if (ENetPeer* switched = meetStep(host, opponent)) {
            opponent = switched;
        }
        ENetEvent event;
        if (enet_host_service(host, &event, 10) > 0 && isMeetEvent(event)) {
            takeMeetEvent(event);
        }
    }
    return true;
}

std::uint16_t portOf(const ENetHost* host) {
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(host->socket, reinterpret_cast<sockaddr*>(&bound), &size);
    return ntohs(bound.sin_port);
}

ENetAddress loopback(std::uint16_t port) {
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    address.port = port;
    return address;
}

TEST_F(MeetServer, TheHostsGameOpensARoomPunchesTheJoinerAndBindsToTheRelayWhenAsked) {
    ServerProcess server({});
    ASSERT_TRUE(useMeetServer(("127.0.0.1:" + std::to_string(SERVER_PORT)).c_str()));
    ENetHost* host = gameHost();
    std::string code;
    ASSERT_EQ(openMeetRoom(host, 0, code, nullptr), nullptr);
    ASSERT_TRUE(readRoomCode(code));
    // The joiner's game, by hand: its meet connection, and its socket where the punches land.
    Socket joinerSide("127.0.0.1");
    Game joiner;
    joiner.send({.kind = MeetKind::join, .code = code, .own = loopback(joinerSide.port())});
    ASSERT_EQ(joiner.next().kind, MeetKind::meet);
    ENetPeer* none = nullptr;
    std::string punch;
    // Both on the loopback: the same router, so the punches go to the joiner's own address.
    ASSERT_TRUE(serviceUntil(host, none, [&] { return !(punch = joinerSide.receive(0)).empty(); }));
    EXPECT_EQ(punch, "LMVP");
    ENetPeer atRelay{};
    atRelay.address = loopback(SERVER_PORT + 1);
    EXPECT_EQ(meetWay(atRelay), MeetWay::sameRouter);
    // Punches that reach the host go no further than its socket.
    joinerSide.sendTo(portOf(host), "LMVP");
    joinerSide.sendTo(portOf(host), "not a punch");
    ASSERT_TRUE(serviceUntil(host, none, [&] { return !passedOn.empty(); }));
    EXPECT_EQ(passedOn, std::vector<std::string>{"not a punch"});

    joiner.send({.kind = MeetKind::relay});
    ASSERT_TRUE(serviceUntil(host, none, [&] { return meetWay(atRelay) == MeetWay::relayed; }));
    // The host's binding has reached the relay once the joiner's datagrams reach the host.
    joinerSide.sendToRelay("LMVB" + code + "j");
    passedOn.clear();
    ASSERT_TRUE(serviceUntil(host, none, [&] {
        joinerSide.sendToRelay("through the relay");
        return !passedOn.empty();
    }));
    EXPECT_EQ(passedOn.front(), "through the relay");
    enet_host_destroy(host);
}

TEST_F(MeetServer, TheJoinersGameConnectsToTheHostAndThenThroughTheRelay) {
    ServerProcess server({});
    ASSERT_TRUE(useMeetServer(("127.0.0.1:" + std::to_string(SERVER_PORT)).c_str()));
    // The host's game, by hand: it never answers, as behind a router that lets nothing in.
    Socket hostSide("127.0.0.1");
    Game host;
    host.send({.kind = MeetKind::open, .own = loopback(hostSide.port())});
    const MeetMessage room = host.next();
    ASSERT_EQ(room.kind, MeetKind::room);

    ENetHost* joiner = gameHost();
    std::string why;
    ENetPeer* opponent = joinMeetRoom(joiner, room.code, why, nullptr);
    ASSERT_NE(opponent, nullptr) << why;
    EXPECT_EQ(host.next().kind, MeetKind::meet);
    // It connects to the host's own address (the same router), then gives up and asks the
    // server, which tells the host to bind too.
    EXPECT_EQ(opponent->address.port, hostSide.port());
    std::string connecting;
    ASSERT_TRUE(serviceUntil(joiner, opponent,
                             [&] { return !(connecting = hostSide.receive(0)).empty(); }));
    EXPECT_GT(connecting.size(), 4u);
    // The relay's connection may take the slot of the one given up.
    ASSERT_TRUE(
        serviceUntil(joiner, opponent, [&] { return opponent->address.port == SERVER_PORT + 1; }));
    EXPECT_EQ(host.next().kind, MeetKind::relay);
    hostSide.sendToRelay("LMVB" + room.code + "h");
    passedOn.clear();
    ASSERT_TRUE(serviceUntil(joiner, opponent, [&] {
        hostSide.sendToRelay("from the host");
        return !passedOn.empty();
    }));
    EXPECT_EQ(passedOn.front(), "from the host");
    EXPECT_EQ(meetWay(*opponent), MeetWay::relayed);
    enet_host_destroy(joiner);
}

TEST_F(MeetServer, AJoinerWithAWrongCodeIsToldWhyInOneSentence) {
    ServerProcess server({});
    const std::string name = "127.0.0.1:" + std::to_string(SERVER_PORT);
    ASSERT_TRUE(useMeetServer(name.c_str()));
    ENetHost* joiner = gameHost();
    std::string why;
    EXPECT_EQ(joinMeetRoom(joiner, "ACEFH", why, nullptr), nullptr);
    EXPECT_EQ(why, "The meet server " + name +
                       " has no room of that code (the host's console shows it).");
    enet_host_destroy(joiner);
}

} // namespace

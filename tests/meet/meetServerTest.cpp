// lamevo-meet itself, on the loopback: rooms, introductions, refusals, limits, the relay and
// forgetting a room when its host leaves. Games are played by ENet hosts of the test's own;
// every wait is for an event, bounded.
#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
    ~ServerProcess() {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
};

// A game's ENet host connected to the server.
struct Game {
    ENetHost* host = nullptr;
    ENetPeer* server = nullptr;

    Game() {
        host = enet_host_create(nullptr, 2, 1, 0, 0);
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

// A plain UDP socket on the loopback, as a game's would be behind the relay.
struct Socket {
    int descriptor = socket(AF_INET, SOCK_DGRAM, 0);
    ~Socket() { close(descriptor); }
    void sendToRelay(const std::string& bytes) const {
        sockaddr_in relay{};
        relay.sin_family = AF_INET;
        relay.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        relay.sin_port = htons(SERVER_PORT + RELAY_PORT_OFFSET);
        sendto(descriptor, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&relay),
               sizeof relay);
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
    Game joiner;
    joiner.send({.kind = MeetKind::join, .code = code, .own = joiner.ownAddress()});
    ASSERT_EQ(joiner.next().kind, MeetKind::meet);
    ASSERT_EQ(host.next().kind, MeetKind::meet);
    Socket hostSide, joinerSide, stranger;
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
}

} // namespace

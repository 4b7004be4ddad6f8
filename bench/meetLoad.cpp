// lamevo-meet under load on the loopback (figures to report, not a test):
//   - its memory with 1000 rooms open at once (VmRSS and its peak, VmHWM, from /proc);
//   - what relaying adds to a datagram's way: round trips between two sockets through the relay
//     beside the same round trips sent straight (median of 1000);
//   - its CPU while 200 rooms relay steady fencing for 10 s: each side of each bout sends 25
//     datagrams of 60 bytes a second (a bout's ENet traffic with presses, pings and
//     acknowledgements is of that order), 10000 datagrams a second through the server in all.
// Usage: meetLoad PATH-TO-lamevo-meet
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "meet.h"

extern char** environ;

namespace {

constexpr std::uint16_t PORT = 27390;
constexpr std::size_t ROOMS = 1000;
constexpr std::size_t RELAYED_BOUTS = 200;
constexpr int RELAY_SECONDS = 10;
constexpr int DATAGRAMS_A_SECOND = 25;
constexpr std::size_t DATAGRAM_BYTES = 60;
constexpr int ROUND_TRIPS = 1000;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string statusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":")) {
            return line.substr(name.size() + 1);
        }
    }
    return "?";
}

double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::vector<std::string> fields;
    std::size_t at = text.rfind(')') + 2;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        at = space == std::string::npos ? text.size() : space + 1;
    }
    return (std::stod(fields[11]) + std::stod(fields[12])) / sysconf(_SC_CLK_TCK);
}

void sendMessage(ENetPeer* peer, const MeetMessage& message) {
    const std::vector<std::uint8_t> bytes = encodeMeet(message);
    enet_peer_send(peer, 0,
                   enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
}

// Services host for up to milliseconds; handle(event) for each event.
template <typename Handle> void service(ENetHost* host, int milliseconds, Handle handle) {
    ENetEvent event;
    if (enet_host_service(host, &event, static_cast<enet_uint32>(milliseconds)) > 0) {
        do {
            handle(event);
            if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                enet_packet_destroy(event.packet);
            }
        } while (enet_host_service(host, &event, 0) > 0);
    }
}

int udpSocket() {
    const int descriptor = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(descriptor, reinterpret_cast<sockaddr*>(&any), sizeof any);
    return descriptor;
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

std::uint16_t portOf(int descriptor) {
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(descriptor, reinterpret_cast<sockaddr*>(&bound), &size);
    return ntohs(bound.sin_port);
}

void sendTo(int descriptor, const sockaddr_in& to, const void* bytes, std::size_t size) {
    sendto(descriptor, bytes, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

bool receiveWithin(int descriptor, int milliseconds) {
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) != 1) {
        return false;
    }
    char bytes[2048];
    return recv(descriptor, bytes, sizeof bytes, 0) > 0;
}

double medianRoundTrip(int from, int to, const sockaddr_in& towardsTo,
                       const sockaddr_in& towardsFrom) {
    std::vector<double> times;
    const char bytes[DATAGRAM_BYTES] = {};
    for (int trip = 0; trip < ROUND_TRIPS; ++trip) {
        const Clock::time_point sent = Clock::now();
        sendTo(from, towardsTo, bytes, sizeof bytes);
        if (!receiveWithin(to, 1000)) {
            continue;
        }
        sendTo(to, towardsFrom, bytes, sizeof bytes);
        if (receiveWithin(from, 1000)) {
            times.push_back(secondsSince(sent) * 1e6);
        }
    }
    if (times.empty()) {
        return -1;
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: meetLoad PATH-TO-lamevo-meet\n", stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> words = {argv[1],
                                      "--listen=127.0.0.1",
                                      "--port=" + std::to_string(PORT),
                                      "--rooms=4000",
                                      "--rooms-per-address=4000",
                                      "--connections-per-address=4000",
                                      "--relay-rate=100000"};
    std::vector<char*> serverArgv;
    for (std::string& word : words) {
        serverArgv.push_back(word.data());
    }
    serverArgv.push_back(nullptr);
    int said[2];
    pipe(said);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, said[1], STDERR_FILENO);
    pid_t server = -1;
    if (posix_spawn(&server, argv[1], &actions, nullptr, serverArgv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    close(said[1]);
    pollfd up{said[0], POLLIN, 0};
    poll(&up, 1, 5000);
    std::printf("server memory, no rooms: VmRSS%s\n", statusField(server, "VmRSS").c_str());

    enet_initialize();
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    address.port = PORT;
    ENetHost* hosts = enet_host_create(nullptr, ROOMS, 1, 0, 0);
    enet_host_compress_with_range_coder(hosts);
    std::vector<std::string> codes(ROOMS);
    std::vector<ENetPeer*> hostPeers(ROOMS);
    for (std::size_t index = 0; index < ROOMS; ++index) {
        hostPeers[index] = enet_host_connect(hosts, &address, 1, 0);
        hostPeers[index]->data = reinterpret_cast<void*>(index);
    }
    std::size_t opened = 0;
    const Clock::time_point opening = Clock::now();
    while (opened < ROOMS && secondsSince(opening) < 60) {
        service(hosts, 10, [&](ENetEvent& event) {
            const auto index = reinterpret_cast<std::size_t>(event.peer->data);
            MeetMessage message;
            if (event.type == ENET_EVENT_TYPE_CONNECT) {
                sendMessage(event.peer, {.kind = MeetKind::open, .own = address});
            } else if (event.type == ENET_EVENT_TYPE_RECEIVE &&
                       decodeMeet(event.packet->data, event.packet->dataLength, message) &&
                       message.kind == MeetKind::room) {
                codes[index] = message.code;
                ++opened;
            }
        });
    }
    std::printf("%zu rooms open (in %.1f s): server VmRSS%s, VmHWM%s\n", opened,
                secondsSince(opening), statusField(server, "VmRSS").c_str(),
                statusField(server, "VmHWM").c_str());

    // Joiners for the first RELAYED_BOUTS rooms, who ask for the relay at once.
    ENetHost* joiners = enet_host_create(nullptr, RELAYED_BOUTS, 1, 0, 0);
    enet_host_compress_with_range_coder(joiners);
    for (std::size_t index = 0; index < RELAYED_BOUTS; ++index) {
        enet_host_connect(joiners, &address, 1, 0)->data = reinterpret_cast<void*>(index);
    }
    std::size_t relaying = 0;
    const Clock::time_point joining = Clock::now();
    while (relaying < RELAYED_BOUTS && secondsSince(joining) < 60) {
        service(joiners, 5, [&](ENetEvent& event) {
            const auto index = reinterpret_cast<std::size_t>(event.peer->data);
            if (event.type == ENET_EVENT_TYPE_CONNECT) {
                sendMessage(event.peer,
                            {.kind = MeetKind::join, .code = codes[index], .own = address});
                sendMessage(event.peer, {.kind = MeetKind::relay});
            }
        });
        service(hosts, 5, [&](ENetEvent& event) {
            MeetMessage message;
            if (event.type == ENET_EVENT_TYPE_RECEIVE &&
                decodeMeet(event.packet->data, event.packet->dataLength, message) &&
                message.kind == MeetKind::relay) {
                ++relaying;
            }
        });
    }
    std::printf("%zu rooms relaying\n", relaying);

    const sockaddr_in relay = loopback(PORT + RELAY_PORT_OFFSET);
    std::vector<int> hostSides(RELAYED_BOUTS), joinerSides(RELAYED_BOUTS);
    for (std::size_t index = 0; index < RELAYED_BOUTS; ++index) {
        hostSides[index] = udpSocket();
        joinerSides[index] = udpSocket();
        const std::string bind = std::string(BIND_PREFIX) + codes[index];
        sendTo(hostSides[index], relay, (bind + "h").data(), bind.size() + 1);
        sendTo(joinerSides[index], relay, (bind + "j").data(), bind.size() + 1);
    }
    service(hosts, 50, [](ENetEvent&) {});
    const double relayed = medianRoundTrip(hostSides[0], joinerSides[0], relay, relay);
    const double straight =
        medianRoundTrip(hostSides[0], joinerSides[0], loopback(portOf(joinerSides[0])),
                        loopback(portOf(hostSides[0])));
    std::printf("round trip of a %zu-byte datagram, median of %d: straight %.0f us, through "
                "the relay %.0f us (the relay adds %.0f us, %.0f us each way)\n",
                DATAGRAM_BYTES, ROUND_TRIPS, straight, relayed, relayed - straight,
                (relayed - straight) / 2);

    std::vector<pollfd> all;
    for (std::size_t index = 0; index < RELAYED_BOUTS; ++index) {
        all.push_back({hostSides[index], POLLIN, 0});
        all.push_back({joinerSides[index], POLLIN, 0});
    }
    const double cpuBefore = cpuSeconds(server);
    const Clock::time_point steady = Clock::now();
    long long sent = 0, arrived = 0;
    // The bouts are not in step: the sides take turns through each 1/25 s.
    std::size_t next = 0;
    long long turns = 0;
    const char bytes[DATAGRAM_BYTES] = {};
    while (secondsSince(steady) < RELAY_SECONDS) {
        const double turnSeconds = 1.0 / DATAGRAMS_A_SECOND / static_cast<double>(all.size());
        while (turns * turnSeconds <= secondsSince(steady)) {
            sendTo(all[next].fd, relay, bytes, sizeof bytes);
            ++sent;
            ++turns;
            next = (next + 1) % all.size();
        }
        poll(all.data(), all.size(), 1);
        for (pollfd& side : all) {
            char got[2048];
            while (side.revents != 0 && recv(side.fd, got, sizeof got, MSG_DONTWAIT) > 0) {
                ++arrived;
            }
        }
        service(hosts, 0, [](ENetEvent&) {});
        service(joiners, 0, [](ENetEvent&) {});
    }
    const double cpu = cpuSeconds(server) - cpuBefore;
    std::printf("%zu relayed bouts for %d s: %lld datagrams sent, %lld relayed (%.0f a "
                "second); server CPU %.1f %% of a core\n",
                RELAYED_BOUTS, RELAY_SECONDS, sent, arrived, arrived / secondsSince(steady),
                100 * cpu / secondsSince(steady));
    std::printf("server memory at the end: VmRSS%s, VmHWM%s\n",
                statusField(server, "VmRSS").c_str(), statusField(server, "VmHWM").c_str());
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    enet_host_destroy(hosts);
    enet_host_destroy(joiners);
    enet_deinitialize();
    return 0;
}

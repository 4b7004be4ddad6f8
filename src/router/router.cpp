// A keeper thread asks the router and, once told to, takes the forwarding away. The main thread
// and the signal handlers talk to it through two pipes, which is all a signal handler may do.
#include "router.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <mutex>
#include <natpmp.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr const char* MAPPING_DESCRIPTION = "The Lamevo";
constexpr int CLOSING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

struct Upnp {
    bool open = false;
    UPNPUrls urls{};
    IGDdatas data{};
};

struct NatPmp {
    bool open = false;
    natpmp_t handle{};
};

struct Keeper {
    std::uint16_t port = 0;
    RouterWays ways;
    std::mutex lock;
    std::condition_variable answered;
    RouterOutcome outcome;
    Upnp upnp;
    NatPmp natPmp;
    int closeRequest[2] = {-1, -1};
    int closed[2] = {-1, -1};
    std::atomic<bool> started{false};
};
Keeper keeper;

void askByUpnp(RouterOutcome& outcome) {
    int error = 0;
    UPNPDev* devices = upnpDiscover(ROUTER_DISCOVERY_MILLISECONDS, nullptr, nullptr,
                                    UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    if (devices == nullptr) {
        outcome.why = "no UPnP router answered";
        return;
    }
    Upnp& upnp = keeper.upnp;
    char lanAddress[64] = "";
    const int found =
        UPNP_GetValidIGD(devices, &upnp.urls, &upnp.data, lanAddress, sizeof lanAddress);
    freeUPNPDevlist(devices);
    if (found != 1) {
        if (found != 0) {
            FreeUPNPUrls(&upnp.urls);
        }
        outcome.why = "the UPnP device that answered is not a connected router";
        return;
    }
    const std::string port = std::to_string(keeper.port);
    const std::string lease = std::to_string(ROUTER_LEASE_SECONDS);
    const int refusal = UPNP_AddPortMapping(upnp.urls.controlURL, upnp.data.first.servicetype,
                                            port.c_str(), port.c_str(), lanAddress,
                                            MAPPING_DESCRIPTION, "UDP", nullptr, lease.c_str());
    if (refusal != UPNPCOMMAND_SUCCESS) {
        FreeUPNPUrls(&upnp.urls);
        outcome.why = "the UPnP router refused, error " + std::to_string(refusal);
        return;
    }
    upnp.open = true;
    char outside[64] = "";
    if (UPNP_GetExternalIPAddress(upnp.urls.controlURL, upnp.data.first.servicetype, outside) ==
        UPNPCOMMAND_SUCCESS) {
        outcome.outsideAddress = outside;
    }
    outcome.way = RouterWay::upnp;
    outcome.outsidePort = keeper.port;
}

// Reads NAT-PMP's answer to the question last sent, letting libnatpmp resend, for at most
// NAT_PMP_ANSWER_MILLISECONDS. Returns 0, or what went wrong.
int natPmpAnswer(natpmpresp_t& answer) {
    natpmp_t& handle = keeper.natPmp.handle;
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(NAT_PMP_ANSWER_MILLISECONDS);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        timeval resend{};
        getnatpmprequesttimeout(&handle, &resend);
        const int wait =
            natPmpWaitMilliseconds(resend.tv_sec * 1000L + resend.tv_usec / 1000, left.count());
        if (wait == 0) {
            return NATPMP_TRYAGAIN;
        }
        pollfd socket{handle.s, POLLIN, 0};
        poll(&socket, 1, wait);
        const int read = readnatpmpresponseorretry(&handle, &answer);
        if (read != NATPMP_TRYAGAIN) {
            return read;
        }
    }
}

void askByNatPmp(RouterOutcome& outcome) {
    NatPmp& natPmp = keeper.natPmp;
    natpmpresp_t answer{};
    if (natPmpFailed(initnatpmp(&natPmp.handle, 0, 0))) {
        outcome.why += "; this machine has no default gateway to ask by NAT-PMP";
        return;
    }
    if (natPmpFailed(sendpublicaddressrequest(&natPmp.handle)) ||
        natPmpFailed(natPmpAnswer(answer))) {
        closenatpmp(&natPmp.handle);
        outcome.why += "; no NAT-PMP router answered";
        return;
    }
    char outside[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &answer.pnu.publicaddress.addr, outside, sizeof outside);
    const int sent = sendnewportmappingrequest(&natPmp.handle, NATPMP_PROTOCOL_UDP, keeper.port,
                                               keeper.port, ROUTER_LEASE_SECONDS);
    const int read = natPmpFailed(sent) ? sent : natPmpAnswer(answer);
    if (natPmpFailed(read) || answer.type != NATPMP_RESPTYPE_UDPPORTMAPPING) {
        closenatpmp(&natPmp.handle);
        outcome.why += "; the NAT-PMP router refused, error " + std::to_string(-read);
        return;
    }
    natPmp.open = true;
    outcome.way = RouterWay::natPmp;
    outcome.outsideAddress = outside;
    outcome.outsidePort = answer.pnu.newportmapping.mappedpublicport;
    outcome.why.clear();
}

void takeForwardingAway() {
    Upnp& upnp = keeper.upnp;
    if (upnp.open) {
        const std::string port = std::to_string(keeper.port);
        UPNP_DeletePortMapping(upnp.urls.controlURL, upnp.data.first.servicetype, port.c_str(),
                               "UDP", nullptr);
        FreeUPNPUrls(&upnp.urls);
        upnp.open = false;
    }
    NatPmp& natPmp = keeper.natPmp;
    if (natPmp.open) {
        // A lease of 0 seconds takes the forwarding away.
        natpmpresp_t answer{};
        if (!natPmpFailed(sendnewportmappingrequest(&natPmp.handle, NATPMP_PROTOCOL_UDP,
                                                    keeper.port, 0, 0))) {
            natPmpAnswer(answer);
        }
        closenatpmp(&natPmp.handle);
        natPmp.open = false;
    }
}

void* keep(void*) {
    RouterOutcome found{RouterWay::none, "", 0, ""};
    if (keeper.ways.upnp) {
        askByUpnp(found);
    } else {
        found.why = "UPnP was not asked";
    }
    if (found.way == RouterWay::none && keeper.ways.natPmp) {
        askByNatPmp(found);
    }
    {
        std::lock_guard<std::mutex> hold(keeper.lock);
        keeper.outcome = found;
    }
    keeper.answered.notify_all();
    char request = 0;
    while (interruptedCall(read(keeper.closeRequest[0], &request, 1))) {
    }
    takeForwardingAway();
    // Left unread: every later wait on it returns at once.
    const char done = 1;
    while (interruptedCall(write(keeper.closed[1], &done, 1))) {
    }
    return nullptr;
}

// The game ends by the signal, as it would without a forwarding to take away.
void closeOnSignal(int number) {
    closeRouter();
    signal(number, SIG_DFL);
    raise(number);
}

} // namespace

void startOpeningRouter(std::uint16_t port, RouterWays ways) {
    if (keeper.started || pipe(keeper.closeRequest) != 0) {
        return;
    }
    if (pipe(keeper.closed) != 0) {
        close(keeper.closeRequest[0]);
        close(keeper.closeRequest[1]);
        return;
    }
    keeper.port = port;
    keeper.ways = ways;
    // The keeper takes no signal: the handlers wait on it.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t thread;
    const bool running = pthread_create(&thread, nullptr, keep, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!running) {
        std::lock_guard<std::mutex> hold(keeper.lock);
        keeper.outcome = {RouterWay::none, "", 0, "this game could not start asking"};
        return;
    }
    pthread_detach(thread);
    keeper.started = true;
    std::atexit(closeRouter);
    struct sigaction closing {};
    closing.sa_handler = closeOnSignal;
    sigemptyset(&closing.sa_mask);
    for (const int number : CLOSING_SIGNALS) {
        sigaction(number, &closing, nullptr);
    }
}

bool routerAsked() {
    return keeper.started;
}

RouterOutcome routerOutcome(int waitMilliseconds) {
    std::unique_lock<std::mutex> hold(keeper.lock);
    keeper.answered.wait_for(hold, std::chrono::milliseconds(waitMilliseconds),
                             [] { return keeper.outcome.way != RouterWay::asking; });
    return keeper.outcome;
}

// Only write and poll: this runs in signal handlers too.
void closeRouter() {
    if (!keeper.started) {
        return;
    }
    const char request = 1;
    if (write(keeper.closeRequest[1], &request, 1) != 1) {
        return;
    }
    pollfd done{keeper.closed[0], POLLIN, 0};
    poll(&done, 1, ROUTER_CLOSING_MILLISECONDS);
}

std::string routerAnnouncement(const RouterOutcome& outcome, std::uint16_t port) {
    const std::string portText = std::to_string(port);
    switch (outcome.way) {
    case RouterWay::asking:
        return "\tThe router has not answered yet: players elsewhere may not reach UDP port " +
               portText + ".\n";
    case RouterWay::none:
        return "\tNo router opened UDP port " + portText + " (" + outcome.why +
               "): players on this\n\tnetwork join as above; players elsewhere reach this game "
               "only if that port is\n\tforwarded to this machine in the router by hand.\n";
    case RouterWay::upnp:
    case RouterWay::natPmp:
        break;
    }
    const std::string way = outcome.way == RouterWay::upnp ? "UPnP" : "NAT-PMP";
    const std::string outsidePort = std::to_string(outcome.outsidePort);
    if (outcome.outsideAddress.empty()) {
        return "\tThe router forwards its UDP port " + outsidePort + " to this game (" + way +
               ") but did not say\n\tits address: players elsewhere join with that address and "
               "port " +
               outsidePort + ".\n";
    }
    std::string text =
        "\tThe router forwards its UDP port " + outsidePort + " to this game (" + way +
        "): players\n\telsewhere join with\n\t\tlamevo --join=" + outcome.outsideAddress + ":" +
        outsidePort + "\n";
    if (isPrivateAddress(outcome.outsideAddress)) {
        text += "\tBut " + outcome.outsideAddress +
                " is a private address: another router stands beyond this one,\n\tand players "
                "elsewhere may not reach this game through it.\n";
    }
    return text;
}

bool isPrivateAddress(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return false;
    }
    const std::uint32_t ip = ntohl(parsed.s_addr);
    struct Range {
        std::uint32_t start;
        int prefix;
    };
    constexpr Range UNROUTED[] = {
        {0x0A000000, 8},  // 10.0.0.0/8
        {0x64400000, 10}, // 100.64.0.0/10, the providers' shared NAT
        {0x7F000000, 8},  // 127.0.0.0/8
        {0xA9FE0000, 16}, // 169.254.0.0/16
        {0xAC100000, 12}, // 172.16.0.0/12
        {0xC0A80000, 16}, // 192.168.0.0/16
    };
    for (const Range& range : UNROUTED) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - range.prefix);
        if ((ip & mask) == range.start) {
            return true;
        }
    }
    return false;
}

bool natPmpFailed(int result) {
    return result < 0;
}

int natPmpWaitMilliseconds(long resendMilliseconds, long leftMilliseconds) {
    if (leftMilliseconds <= 0) {
        return 0;
    }
    return static_cast<int>(std::clamp<long>(resendMilliseconds, 1, leftMilliseconds));
}

bool interruptedCall(long result) {
    return result < 0 && errno == EINTR;
}

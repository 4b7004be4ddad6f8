// The home router opened for the host: asks the router in front of this machine to forward the
// host's UDP port to it, by UPnP IGD and, where that finds no router, by NAT-PMP, and takes the
// forwarding away again when the game ends, whether it ends normally (exit), by a lost peer
// (which ends by exit too) or by SIGINT, SIGTERM or SIGHUP.
//
// Asking never blocks the caller for long: the questions go from a thread of their own, and
// every wait on them here is bounded. UPnP looks for a router for ROUTER_DISCOVERY_MILLISECONDS;
// a router that answers then gets miniupnpc's own socket timeouts (3 s a request); NAT-PMP gives
// up after NAT_PMP_ANSWER_MILLISECONDS a question. Taking the forwarding away at the end waits at
// most ROUTER_CLOSING_MILLISECONDS; a forwarding left behind lapses after its lease.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int ROUTER_DISCOVERY_MILLISECONDS = 2000;
inline constexpr int NAT_PMP_ANSWER_MILLISECONDS = 2000;
inline constexpr int ROUTER_CLOSING_MILLISECONDS = 3000;
// How long a forwarding lasts on the router if this game cannot take it away itself.
inline constexpr std::uint32_t ROUTER_LEASE_SECONDS = 7200;

enum class RouterWay {
    asking, // no answer yet
    upnp,   // a UPnP IGD forwards the port
    natPmp, // a NAT-PMP router forwards the port
    none,   // no router opened the port; why says why
};

struct RouterOutcome {
    RouterWay way = RouterWay::asking;
    std::string outsideAddress; // the router's address on the internet, dotted IPv4
    std::uint16_t outsidePort = 0;
    std::string why; // with none: what the routers said, as words that follow "because"
};

// Which ways to try; both unless a test wants one.
struct RouterWays {
    bool upnp = true;
    bool natPmp = true;
};

// Starts asking for UDP port `port` (the same port outside and in) and returns at once. Also
// sets up the removal at exit and on the signals above. Call at most once.
void startOpeningRouter(std::uint16_t port, RouterWays ways = {});

// Whether startOpeningRouter has begun asking.
bool routerAsked();

// What came of it: waits up to waitMilliseconds for the answer, then returns what is known
// (way asking when the answer has not come yet).
RouterOutcome routerOutcome(int waitMilliseconds);

// Takes the forwarding away now (waiting at most ROUTER_CLOSING_MILLISECONDS); later calls, and
// calls when nothing was opened, do nothing. Runs by itself at exit.
void closeRouter();

// The host's console lines about the router, for port, each line starting with a tab: the
// address friends elsewhere join, or that no router answered and what that means for them.
std::string routerAnnouncement(const RouterOutcome& outcome, std::uint16_t port);

// Whether a dotted IPv4 address lies in a range that the internet does not route (private,
// shared carrier NAT, link-local, loopback): a router with such an outside address sits behind
// another NAT, and its forwarding does not reach the internet.
bool isPrivateAddress(const std::string& address);

// ---- The keeper's small decisions ----

// Whether a result of libnatpmp (bytes sent, 0 or one of its negative errors) is a failure.
bool natPmpFailed(int result);

// How long to wait for NAT-PMP's answer, with resendMilliseconds until libnatpmp resends its
// question and leftMilliseconds of the patience left: at least 1 ms and never past the patience;
// 0 once the patience is spent (give up).
int natPmpWaitMilliseconds(long resendMilliseconds, long leftMilliseconds);

// Whether a system call that returned result (with errno as it left it) was only interrupted by a
// signal and is to be made again: not at the end of a pipe (0), nor after another failure.
bool interruptedCall(long result);

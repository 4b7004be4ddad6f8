// routerProbe PORT WAYS (upnp, natpmp or both): asks the router as a host does, prints one line
// "WAY OUTSIDE-ADDRESS OUTSIDE-PORT WHY", then waits for its standard input to close and ends,
// taking the forwarding away as the game does at exit (or on a signal).
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

#include "router.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: routerProbe PORT upnp|natpmp|both\n", stderr);
        return 2;
    }
    const std::string_view ways = argv[2];
    startOpeningRouter(static_cast<std::uint16_t>(std::atoi(argv[1])),
                       {.upnp = ways != "natpmp", .natPmp = ways != "upnp"});
    const RouterOutcome outcome = routerOutcome(15000);
    const char* names[] = {"asking", "upnp", "natPmp", "none"};
    std::printf("%s %s %u %s\n", names[static_cast<int>(outcome.way)],
                outcome.outsideAddress.empty() ? "-" : outcome.outsideAddress.c_str(),
                outcome.outsidePort, outcome.why.c_str());
    std::fflush(stdout);
    char byte = 0;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}

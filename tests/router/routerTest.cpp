// What the host's console says about the router, and the keeper's life without a router to
// ask (nothing is sent anywhere: both ways are left out).
#include <cerrno>
#include <gtest/gtest.h>
#include <string>

#include "router.h"

namespace {

struct AnnouncementCase {
    RouterOutcome outcome;
    const char* text;
};

TEST(RouterAnnouncement, SaysWhereFriendsJoinOrWhyNobodyCan) {
    const AnnouncementCase cases[] = {
        {{RouterWay::upnp, "81.0.0.1", 27315, ""},
         "\tThe router forwards its UDP port 27315 to this game (UPnP): players\n"
         "\telsewhere join with\n\t\tlamevo --join=81.0.0.1:27315\n"},
        // NAT-PMP may give another port outside than the game's own.
        {{RouterWay::natPmp, "81.0.0.2", 40001, ""},
         "\tThe router forwards its UDP port 40001 to this game (NAT-PMP): players\n"
         "\telsewhere join with\n\t\tlamevo --join=81.0.0.2:40001\n"},
        {{RouterWay::upnp, "100.64.3.4", 27315, ""},
         "\tThe router forwards its UDP port 27315 to this game (UPnP): players\n"
         "\telsewhere join with\n\t\tlamevo --join=100.64.3.4:27315\n"
         "\tBut 100.64.3.4 is a private address: another router stands beyond this one,\n"
         "\tand players elsewhere may not reach this game through it.\n"},
        {{RouterWay::natPmp, "", 27000, ""},
         "\tThe router forwards its UDP port 27000 to this game (NAT-PMP) but did not say\n"
         "\tits address: players elsewhere join with that address and port 27000.\n"},
        {{RouterWay::none, "", 0, "no UPnP router answered; no NAT-PMP router answered"},
         "\tNo router opened UDP port 27315 (no UPnP router answered; no NAT-PMP router "
         "answered): players on this\n\tnetwork join as above; players elsewhere reach this "
         "game only if that port is\n\tforwarded to this machine in the router by hand.\n"},
        {{RouterWay::asking, "", 0, ""},
         "\tThe router has not answered yet: players elsewhere may not reach UDP port "
         "27315.\n"},
    };
    for (const AnnouncementCase& one : cases) {
        EXPECT_EQ(routerAnnouncement(one.outcome, 27315), one.text);
    }
}

TEST(RouterAnnouncement, PrivateRangesEndExactlyWhereTheyEnd) {
    const std::pair<const char*, bool> addresses[] = {
        {"10.0.0.0", true},
        {"10.255.255.255", true},
        {"9.255.255.255", false},
        {"11.0.0.0", false},
        {"100.64.0.0", true},
        {"100.127.255.255", true},
        {"100.63.255.255", false},
        {"100.128.0.0", false},
        {"127.0.0.1", true},
        {"169.254.9.9", true},
        {"169.253.255.255", false},
        {"169.255.0.0", false},
        {"172.16.0.0", true},
        {"172.31.255.255", true},
        {"172.15.255.255", false},
        {"172.32.0.0", false},
        {"192.168.1.1", true},
        {"192.169.0.0", false},
        {"192.167.255.255", false},
        {"81.0.0.1", false},
        {"8.8.8.8", false},
        {"not an address", false},
        {"", false},
        {"10.0.0", false},
    };
    for (const auto& [address, isPrivate] : addresses) {
        EXPECT_EQ(isPrivateAddress(address), isPrivate) << address;
    }
}

TEST(RouterKeeper, NatPmpWaitsUntilItsResendWithinThePatience) {
    struct Case {
        long resend, left;
        int wait;
    };
    const Case cases[] = {
        {250, 2000, 250}, {2000, 2000, 2000}, {3000, 2000, 2000}, // never past the patience
        {0, 2000, 1},     {-5, 2000, 1},      {250, 1, 1},        // never a busy loop
        {250, 0, 0},      {250, -3, 0},                           // the patience is spent
    };
    for (const Case& one : cases) {
        EXPECT_EQ(natPmpWaitMilliseconds(one.resend, one.left), one.wait)
            << one.resend << " " << one.left;
    }
    EXPECT_FALSE(natPmpFailed(12)); // the bytes of a question sent
    EXPECT_FALSE(natPmpFailed(0));
    EXPECT_TRUE(natPmpFailed(-1));
    EXPECT_TRUE(natPmpFailed(-100)); // NATPMP_TRYAGAIN
}

TEST(RouterKeeper, OnlyAnInterruptedCallIsMadeAgain) {
    errno = EINTR;
    EXPECT_TRUE(interruptedCall(-1));
    EXPECT_FALSE(interruptedCall(0)); // the end of the pipe, whatever errno says
    EXPECT_FALSE(interruptedCall(1));
    errno = EBADF;
    EXPECT_FALSE(interruptedCall(-1));
}

TEST(RouterKeeper, WithNothingToAskSaysSoAndClosesAtOnce) {
    EXPECT_FALSE(routerAsked());
    EXPECT_EQ(routerOutcome(0).way, RouterWay::asking);
    closeRouter(); // nothing started: nothing to wait for
    startOpeningRouter(27315, {.upnp = false, .natPmp = false});
    EXPECT_TRUE(routerAsked());
    const RouterOutcome outcome = routerOutcome(5000);
    EXPECT_EQ(outcome.way, RouterWay::none);
    EXPECT_EQ(outcome.why, "UPnP was not asked");
    EXPECT_EQ(outcome.outsidePort, 0);
    closeRouter();
    closeRouter(); // a second close finds the first done
}

} // namespace

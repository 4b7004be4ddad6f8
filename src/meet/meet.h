// Room codes through a meet server: a host opens a room on the server and gets a short code; a
// joiner gives the code and the server introduces the two, telling each the other's address as
// the server sees it (outside their routers) and as the player's own machine has it. The joiner
// then connects to the host straight away while the host sends punches towards it, both from the
// game's own ENet socket, so each router lets the other's datagrams in; two players behind the
// same router connect over their own network. When nothing gets through within
// PUNCH_PATIENCE_MILLISECONDS the server relays the bout's datagrams on its relay port.
//
// Everything to and from the server goes over ENet, on the game's own ENet host, as a peer of its
// own beside the opponent; the punches and the relay's bindings are single datagrams that this
// folder's intercept takes out before ENet sees them. The server, lamevo-meet (meetServer.cpp),
// speaks the same messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <enet/enet.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint16_t MEET_DEFAULT_PORT = 27320;
// The relay listens on the port after the meet server's own.
inline constexpr std::uint16_t RELAY_PORT_OFFSET = 1;
inline constexpr int PUNCH_PATIENCE_MILLISECONDS = 2500;
inline constexpr int PUNCH_INTERVAL_MILLISECONDS = 100;
// How long the host and the joiner wait for the server's answers.
inline constexpr int MEET_ANSWER_MILLISECONDS = 5000;

// ---- Room codes ----

// Letters and digits a person reads out without mix-ups: no 0/O/Q/D, 1/I/L, 2/Z, 5/S, 6/G, 8/B.
inline constexpr std::string_view ROOM_CODE_LETTERS = "ACEFHJKMNPRTUVWXY3479";
inline constexpr std::size_t ROOM_CODE_LENGTH = 5;

// A code from random (any 32-bit numbers; uses ROOM_CODE_LENGTH of them).
std::string roomCodeFrom(const std::uint32_t* random);
// The code as the server keeps it (upper case) when text is one, whatever its case; otherwise
// nothing.
std::optional<std::string> readRoomCode(std::string_view text);

// ---- The messages between a game and the server ----

enum class MeetKind : std::uint8_t {
    open = 1, // game to server: open a room; the game's own address (IPv4, port)
    room,     // server to host: the room's code
    join,     // game to server: the code, the game's own address
    meet,     // server to both: the other's outside address, its own address, same router
    relay,    // joiner to server: punching failed, relay us; server to both: bind to the relay
    refused,  // server to game: why not
};

enum class MeetRefusal : std::uint8_t {
    noSuchRoom = 1,
    roomTaken,  // the room has its joiner already
    tooMany,    // this address has too many rooms or connections
    badMessage, // what it sent is not the meet protocol
    serverFull,
};

struct MeetMessage {
    MeetKind kind = MeetKind::open;
    std::string code;        // room, join
    ENetAddress outside{};   // meet: as the server sees the other game
    ENetAddress own{};       // open, join: as the game has it; meet: the other's own
    bool sameRouter = false; // meet
    MeetRefusal refusal = MeetRefusal::badMessage; // refused
};

std::vector<std::uint8_t> encodeMeet(const MeetMessage& message);
// Decodes a whole message of a known kind and its exact size, with a code of
// ROOM_CODE_LETTERS, a refusal the list has; returns false otherwise.
bool decodeMeet(const std::uint8_t* bytes, std::size_t size, MeetMessage& message);

// What a refusal means, as words after "The meet server".
const char* meetRefusalText(MeetRefusal refusal);

// The raw datagrams beside ENet's: a punch (dropped on arrival) and a relay binding, which names
// the room and the side (h or j). Whether bytes are one of them:
inline constexpr std::string_view PUNCH_DATAGRAM = "LMVP";
inline constexpr std::string_view BIND_PREFIX = "LMVB";
bool isPunch(const std::uint8_t* bytes, std::size_t size);
// The code and side of a binding, or nothing.
std::optional<std::pair<std::string, char>> readBinding(const std::uint8_t* bytes,
                                                        std::size_t size);

// ---- The decisions of a meeting, on plain data and a clock in milliseconds ----

// How the two games found each other.
enum class MeetWay { none, punched, sameRouter, relayed };

// Where the relay of the meet server at server listens.
ENetAddress relayOf(const ENetAddress& server);
// Where the introduced game is reached without the relay: its own address when both sit behind
// the same router, else its outside one.
ENetAddress meetTarget(const MeetMessage& introduction);

// What a message from the server does to a game that is hosting (else joining) and has (or has
// not) had the server's first answer: nothing, that answer (a room's code or a refusal), the
// other game's introduction (which answers a joiner too), or the call to go through the relay.
enum class MeetUse { ignored, answer, introduction, relay };
MeetUse meetUse(MeetKind kind, bool hosting, bool answered);

// The punches, the relay's bindings and the joiner's patience.
struct MeetSchedule {
    bool hosting = false;
    bool relaying = false;
    bool askedForRelay = false;
    long long punchesUntil = 0;
    long long nextPunch = 0;
    long long bindsUntil = 0;
    long long nextBind = 0;
    long long gaveUpPunchingAt = 0;
};
// The introduction came at now: the host punches, every PUNCH_INTERVAL_MILLISECONDS, until
// punching has had its patience and a second more.
void startPunching(MeetSchedule& schedule, long long now);
// The relay is in play from now: bindings go every PUNCH_INTERVAL_MILLISECONDS for
// MEET_ANSWER_MILLISECONDS, the first at once.
void startRelaying(MeetSchedule& schedule, long long now);

struct MeetSends {
    bool punch = false;    // a punch towards the other game
    bool bind = false;     // a binding to the relay
    bool askRelay = false; // joiner: ask the server to relay, and connect through the relay
};
// What is due at now, marked done in schedule. waiting: a joiner whose opponent is not connected
// yet (askRelay comes once, when its patience has run out; it starts the relay).
MeetSends meetDue(MeetSchedule& schedule, long long now, bool waiting);

// How a connected opponent came: through the relay when it is at the relay's address while
// relaying; otherwise as the introduction said, and directly without one.
MeetWay meetWayOf(bool relaying, bool atRelay, bool introduced, bool sameRouter);

// ---- The server's decisions ----

// Whether a relay binding for side ('h' the host, 'j' the joiner) comes from the machine (IPv4
// address) the server knows that side's game by: a stranger who has the code takes no side's
// place in the relay.
bool bindsItsOwnSide(char side, std::uint32_t from, std::uint32_t host, std::uint32_t joiner);

// An address's relayed datagrams in the current second.
struct RelayCount {
    long long second = 0;
    std::size_t count = 0;
};
// Whether one more datagram at now (milliseconds) stays within perSecond; counts it.
bool relayAllows(RelayCount& count, long long now, std::size_t perSecond);

struct RoomAge {
    bool joined = false;   // its joiner is connected to the server
    bool relaying = false; // the relay serves it
    long long openedAt = 0;
    long long relayedAt = 0; // the relay's last datagram for it
};
inline constexpr long long RELAY_IDLE_MILLISECONDS = 60000;
// Whether the server forgets the room at now: nobody joined it within idleMilliseconds, or its
// relay, with the joiner gone from the server, has been quiet for RELAY_IDLE_MILLISECONDS.
bool roomIsSpent(const RoomAge& room, long long now, long long idleMilliseconds);

// Whether a datagram to the meet port may be ENet's, for a host of peerCount peers: a header
// whose peer number is one of them or the one of a connection still being made.
bool mayBeEnet(const std::uint8_t* bytes, std::size_t size, std::size_t peerCount);

// ---- The game's side ----

// Chooses the server ("NAME" or "NAME:PORT"); until then the game meets nobody. Returns false
// when the name cannot be resolved.
bool useMeetServer(const char* server);
bool meetServerChosen();
const char* meetServerName();

// The host: connects to the server from host (whose socket listens on port) and opens a room;
// fills code and returns nullptr, or returns why not (one sentence). Services host while it
// waits, at most MEET_ANSWER_MILLISECONDS; events not for the meet go to others(event).
const char* openMeetRoom(ENetHost* host, std::uint16_t port, std::string& code,
                         void (*others)(ENetEvent&));

// The joiner: finds the room's host through the server and starts connecting to it; returns the
// peer to wait on (connected later, or replaced: see meetOpponent), or nullptr after filling why.
ENetPeer* joinMeetRoom(ENetHost* host, const std::string& code, std::string& why,
                       void (*others)(ENetEvent&));

// Whether event is the meet server's (the caller then hands it to takeMeetEvent and goes on).
bool isMeetEvent(const ENetEvent& event);
// Whether peer is the connection to the meet server: no stranger, whatever it does not say.
bool isMeetPeer(const ENetPeer* peer);
void takeMeetEvent(ENetEvent& event);

// Runs on every service of the link: sends punches and relay bindings when due and, on the
// joiner, switches to the relay once punching has had PUNCH_PATIENCE_MILLISECONDS. Returns the
// peer the joiner waits on from now on when it changed, else nullptr.
ENetPeer* meetStep(ENetHost* host, ENetPeer* opponent);

// How the opponent at peer came, once connected.
MeetWay meetWay(const ENetPeer& peer);
// "punched through", "over your own network", "relayed by the meet server"
const char* meetWayText(MeetWay way);

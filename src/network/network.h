// Fencing over the network: one machine hosts the bout as the one-keyboard game runs it, the
// other joins and mirrors it. The joiner sends its player's name and presses; the host sends
// its name, its console's text from the key list on, the scene the window draws, the poses and
// the sounds. ENet carries every message reliably and in order on one channel, and tells when
// the other machine has gone quiet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <enet/enet.h>

#include "bout.h"
#include "control.h"

// The UDP port a host listens on unless told otherwise.
inline constexpr std::uint16_t DEFAULT_PORT = 27315;
// The status of a game that ends because the other machine could not be reached, went away or
// sent what this game does not accept.
inline constexpr int CONNECTION_LOST_STATUS = 3;

// ---- The messages, without the network ----

// The first byte of every message. The first message each way is a hello; every message of a
// kind has one size, except those that carry text, whose size is their text's.
enum class MessageKind : std::uint8_t {
    hello = 1,  // both ways: the game's tag and its protocol version
    name,       // both ways: a player's name
    command,    // joiner to host: one of its fencer's commands
    goAhead,    // joiner to host: its player has answered the last question
    console,    // host to joiner: console text
    askGoAhead, // host to joiner: the joiner may answer the last question now
    scene,      // host to joiner: what the window draws
    pose,       // host to joiner: a fencer's new pose
    sound,      // host to joiner: a sound to play
    recording,  // host to joiner: one line of the bout's recording, its line end included
};

inline constexpr char GAME_TAG[] = "The Lamevo";
inline constexpr std::uint16_t PROTOCOL_VERSION = 2;
// A name is one word of at most this many bytes, as the console reads it.
inline constexpr std::size_t LONGEST_NAME_BYTES = 999;
// A name from the network is text a person typed, of at most this many characters.
inline constexpr std::size_t LONGEST_NAME_CHARACTERS = 40;
inline constexpr std::size_t LONGEST_CONSOLE_TEXT = 1024;

// What the window draws of the bout, beyond the names: the flags as 0 or 1, the sprite places.
struct MirroredScene {
    std::int32_t leftTouches, rightTouches;
    std::int32_t leftPosition, rightPosition;
    std::uint32_t flags; // one bit per flag, in the order of the table in messages.cpp
    FencerQuad leftQuad, rightQuad;
};
bool operator==(const MirroredScene& a, const MirroredScene& b);

// The scene as the bout has it now; both fencers must exist.
MirroredScene sceneOf(const BoutState& state);
// Puts a received scene into the bout (fencers' touches and cells, flags, sprite places).
void applyScene(const MirroredScene& scene, BoutState& state);

// One decoded message. text points into the bytes it was decoded from.
struct Message {
    MessageKind kind = MessageKind::hello;
    std::uint16_t version = 0;                      // hello
    std::string_view text = {};                     // name, console
    FencerCommand command = FencerCommand::advance; // command
    MirroredScene scene = {};                       // scene
    Pose pose = Pose::leftEngarde;                  // pose
    BoutSound sound = BoutSound::buzzer;            // sound
};

// The bytes of a message; for a name or console text, text must fit its kind's limit.
std::vector<std::uint8_t> encodeMessage(const Message& message);

// Who sent the bytes: each side accepts only the kinds the other one sends.
enum class Sender { host, joiner };

// Decodes bytes that came from sender. Returns nullptr and fills message when they are a whole
// message of a kind that sender sends, of that kind's size, with every field in its range: a
// hello with the game's tag (any version: the caller compares it), a joiner's name that
// nameFault accepts, a host's name of 1 to 999 bytes (whatever they are: see neutralName),
// console text of 1 to LONGEST_CONSOLE_TEXT bytes that consoleTextFault accepts, a
// recording's line of 2 to LONGEST_CONSOLE_TEXT bytes ending with its only line end, a
// command, pose or sound the game has, a scene whose flags are known, touches 0 to 15, cells
// -10 to 50 and every corner a finite number within -10000 and 10000. Otherwise returns what is
// wrong, as words that follow "sent" in a sentence, and message is unspecified.
const char* decodeMessage(const std::uint8_t* bytes, std::size_t size, Sender sender,
                          Message& message);

// ---- Text from the other machine ----

// How much of text ends on a whole character: all of it, or all but the 1 to 3 bytes of a
// character that the end of text cuts short (which the next piece of text may complete).
std::size_t wholeCharactersLength(std::string_view text);

// nullptr when name is printable UTF-8 text of 1 to LONGEST_NAME_CHARACTERS characters with no
// control, no blank (no Unicode space), no invisible formatting or bidirectional control and no
// noncharacter; otherwise what is wrong, as words that follow "sent".
const char* nameFault(std::string_view name);

// A name that nameFault accepts made of name: each character it refuses (or byte that is not
// UTF-8) becomes '?', and the name ends after LONGEST_NAME_CHARACTERS characters; "?" for "".
std::string neutralName(std::string_view name);

// text with every character that a terminal acts on instead of printing (C0 controls but the
// line break and tab, DEL, C1 controls, bidirectional controls) and every byte that is not
// UTF-8 replaced by '?': console text that the decoder accepts, when it is whole characters.
std::string safeConsoleText(std::string_view text);

// ---- Strangers at the host, without the network ----

// What the host makes of a datagram's first bytes before ENet reads it (ENet's header is a
// peer number with flags, then the commands): only a known peer's datagram or a CONNECT from
// someone new is worth ENet's work, which for a compressed datagram begins with decompressing.
enum class DatagramKind {
    forPeer,           // meant for the peer slot peerNumber (ENet takes it if that peer sent it)
    connect,           // an uncompressed CONNECT from someone new
    compressedConnect, // a compressed datagram from someone new: a CONNECT, or junk
    junk,              // anything else, which ENet would drop
};
struct ScreenedDatagram {
    DatagramKind kind;
    std::uint16_t peerNumber; // forPeer
    std::uint8_t session;     // forPeer: the session the sender gives
};
ScreenedDatagram screenDatagram(const std::uint8_t* data, std::size_t size, std::size_t peerSlots);

// The host's lines about strangers (refused, gone) come at most once a second; the others are
// counted and the count told in the next line that may come.
struct StrangerLines {
    Milliseconds lastLine = -1000000;
    unsigned untold = 0;
};
// Whether a line about one more stranger may be printed at now; if not, it is counted.
bool mayTellOfStranger(StrangerLines& lines, Milliseconds now);
// The count of strangers to tell of in one line at now, or 0 when none is due (yet); a count
// that is told is begun anew.
unsigned untoldStrangersDue(StrangerLines& lines, Milliseconds now);

// What the host knows of a connection in one of its slots until it is the opponent's.
struct StrangerSlot {
    std::uint32_t connectId = 0;
    Milliseconds since = 0; // when the connection came, or when the host began to close it
    bool inUse = false;
    bool greeted = false; // it said this game's hello
    bool closing = false; // the host refused it
};
// A stranger has HELLO_DEADLINE to finish ENet's handshake and say the hello, and then its
// player NAME_DEADLINE to type a name; a refused one is let go after HELLO_DEADLINE even when
// its game never says goodbye.
enum class StrangerFate { waits, noHelloInTime, noNameInTime, letGo };
inline constexpr Milliseconds HELLO_DEADLINE_MILLISECONDS = 6000;
inline constexpr Milliseconds NAME_DEADLINE_MILLISECONDS = 60000;
StrangerFate fateOf(const StrangerSlot& slot, Milliseconds now);

// Compressed CONNECTs from someone new (which older games send) are let through to ENet's
// decompressing a few a second; the rest are dropped unread.
struct CompressedConnects {
    Milliseconds since = 0; // the start of the second being counted
    unsigned count = 0;
};
inline constexpr unsigned COMPRESSED_CONNECTS_A_SECOND = 20;
// Whether one more may be decompressed at now; counts it.
bool mayDecompressConnect(CompressedConnects& connects, Milliseconds now);

// ---- Strangers at the host, on ENet's own records ----

// Whether a datagram that screenDatagram found forPeer comes from the peer in its slot: a
// connection there, not closed, from the address and port it came from and, once the peer has
// been given its number, in its session. ENet checks the same after decompressing.
bool isFromItsPeer(const ENetHost& host, const ScreenedDatagram& datagram);

// Whether a connection from the address of the datagram host has just received, from another
// port, is open and waits to give a name: the opponent does not wait, nor does the meet
// server's connection, which shares its address with the relay it runs.
bool hasWaitingConnection(const ENetHost& host, const ENetPeer* opponent);

// The slot of the stranger to let go so that the next to come finds one, when every slot holds
// a connection: of the strangers whose fate is to wait, the one that has waited longest (or
// was refused longest ago). peerCount when a slot is free or no stranger may be let go.
// slots are the host's records by slot, current for every stranger.
std::size_t slotToMakeRoom(const ENetHost& host, const std::vector<StrangerSlot>& slots,
                           const ENetPeer* opponent, Milliseconds now);

// ---- Poor links ----

// ENet doubles a message's wait for its acknowledgement at every loss, without end: on a poor
// link a few losses in a row leave every later message waiting for seconds, and the peer is
// given up while the resends were still coming. Caps the wait of every message peer has sent
// and not seen acknowledged at LONGEST_RESEND_WAIT_MILLISECONDS, or twice the round trip on a
// longer link, and brings its next resend forward to match.
inline constexpr enet_uint32 LONGEST_RESEND_WAIT_MILLISECONDS = 500;
void capResendWaits(ENetPeer& peer);

// ---- Text the host sends ----

// The pieces of console text, each of at most LONGEST_CONSOLE_TEXT bytes, that send text in
// order, each ending on a whole character (text must be whole characters).
std::vector<std::string_view> consoleTextPieces(std::string_view text);

// ---- How a connection ends ----

// Why the host closed a connection, in the data of ENet's disconnect.
enum Refusal : enet_uint32 {
    noRefusal,
    opponentAlreadyThere,
    notThisGame,
    badMessage,
    noHelloInTime,
    noNameInTime,
    hostBusy, // its slot was needed for the next to come
};

// What a game knows when its link to the other ends, or never comes.
struct LinkLoss {
    bool hosting = false;
    bool connected = false;          // the joiner's connection was made
    bool throughMeet = false;        // the joiner looked for the host through a meet server
    bool nameOverdue = false;        // the joiner gave up waiting for the host's name
    enet_uint32 refusal = noRefusal; // the host's reason, for the joiner
    bool boutWon = false;            // the bout was won before the link ended
    std::string address;             // the host's machine or room code, for the joiner
    std::uint16_t port = 0;          // the host's port, for the joiner
    std::string opponent;            // the other player's name, or "" before it came
};
// The line (its line breaks included) that tells the player why the link ended; "" when the
// joiner's bout was won and the host has ended as it does after a win.
std::string lossLine(const LinkLoss& loss);

// ---- The link between the two machines ----

// The host: after its player's name, listens on port, prints how to join and waits for one
// opponent, refusing strangers with a line on standard error; then the kind of bout and both
// go-aheads. Fills both names (the host's player fences on the left) and returns the touch
// limit. Console text from the key list on goes to the joiner too, and so will the poses and
// sounds once the bout runs. If the port cannot be opened it says so and ends the process with
// CONNECTION_LOST_STATUS; input that ends ends it as the one-keyboard dialogue does.
std::int32_t hostSetup(std::FILE* input, std::uint16_t port, char** firstName, char** secondName);

// The joiner: connects to address (a machine name or an IPv4 address: ENet 1.3 has no IPv6) on
// port, learns the host's name, asks its own player's name and, once the host has listed the
// keys, its go-ahead.
// Fills both names (the joiner's player fences on the right). When nobody answers within 10 s,
// or the host refuses, it says so and ends the process with CONNECTION_LOST_STATUS.
void joinSetup(std::FILE* input, const char* address, std::uint16_t port, char** firstName,
               char** secondName);

// The keyboard callback of both machines in a bout over the network: the host's player's keys
// move the left fencer (after the equal-footing delay), the joiner's the right one (by way of
// the host); the other fencer's keys do nothing.
void onOwnKeyPress(unsigned char key, int x, int y);

// The event loop's step in a bout over the network. On the host: passes on the presses that
// are due and those the joiner sent, lets the bout's time pass (onIdle) and sends what changed.
// On the joiner: prints, draws and plays what the host sent. Either side ends the process with
// CONNECTION_LOST_STATUS, after a line on standard error, when the other goes quiet for 6 s or
// sends what is not accepted; the joiner ends with status 0 when the host ends after a win.
void serviceNetwork();

// The link's socket, for the event loop to wait on, and what to call once it is readable:
// takes in whatever has arrived, as serviceNetwork does, never waiting.
int networkSocket();
void readNetwork();

// When serviceNetwork must run next with nothing arriving, on controlHooks.nowMilliseconds'
// clock: soon enough for ENet's pings and resends, the host's delayed presses and the bout's
// clock.
Milliseconds nextNetworkTurn();

// The bout's recording on both machines: the host sends each line of its recording to the
// joiner, whose --record keeps them as they come. sendRecordingLine does nothing on the
// joiner or before one has joined; takeRecordingLines names what the joiner calls for each
// line received (none: they are dropped).
void sendRecordingLine(std::string_view line);
void takeRecordingLines(void (*take)(std::string_view line));

// How long the host delays its own player's presses now: half the least round trip to the
// joiner that ENet measured over the last few seconds, at most 150 ms; 0 on the joiner.
Milliseconds ownPressDelay();

// The delay for a link of these round trips as ENet measures them (its smoothed figure, the
// least of the last few seconds, the last one): half the least of them, at most 150 ms.
Milliseconds equalFootingDelay(std::uint32_t smoothedRoundTrip, std::uint32_t leastRecentRoundTrip,
                               std::uint32_t lastRoundTrip);

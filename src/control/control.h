// Bout control: turns the players' keys into fencing actions, and on every idle turn lets
// time pass: lunges travel and score or fall short, parries end, halts run out, the bout ends.
#pragma once

#include "bout.h"

// Finer time than the bout's whole seconds, for what must react quicker than a second.
using Milliseconds = std::int64_t;

// The two sounds of a bout: the buzzer as a lamp lights, the clash of a parry that stops a lunge.
enum class BoutSound { buzzer, bladeClash };

// The few things control asks of the outside world. The game points them at the system clock
// in whole seconds, glutPostRedisplay, loadPoseTexture, std::exit, a monotonic clock in
// milliseconds and the sound output (none when muted); tests replace them, so a test can set
// the clocks to any time and watch redraws, poses, the exit and the sounds asked for.
struct ControlHooks {
    WholeSeconds (*now)();
    void (*requestRedraw)();
    void (*showPose)(Pose pose);
    void (*endProcess)(int status);
    Milliseconds (*nowMilliseconds)();
    void (*playSound)(BoutSound sound);
};
extern ControlHooks controlHooks;

// The system clock in whole seconds: what controlHooks.now starts as.
WholeSeconds systemClock();

// Milliseconds of a clock that never goes back, counted from an arbitrary start.
Milliseconds monotonicMilliseconds();

// The reach of lunges and parries, as every fencer learns them. A lunge travels one cell per
// whole second while its fencer stands at most LUNGE_TRAVEL_CELLS beyond its start cell, and
// arrives once the gap is LUNGE_ARRIVAL_GAP or less; a parry stops a lunge that has come
// within PARRY_REACH_CELLS.
inline constexpr std::int32_t LUNGE_TRAVEL_CELLS = 2;
inline constexpr std::int32_t LUNGE_ARRIVAL_GAP = 2;
inline constexpr std::int32_t PARRY_REACH_CELLS = 4;

// A fencer's five commands and the key each player presses for them. The upper case, and ':'
// for ';', give the same command. Whatever else gives a fencer commands (help texts, a
// computer opponent, game pads) goes through these keys and onKeyPress.
enum class FencerCommand { advance, retreat, lunge, parry, recover };

struct CommandKeys {
    FencerCommand command;
    unsigned char leftKey;
    unsigned char rightKey;
    const char* meaning;
};

inline constexpr CommandKeys COMMAND_KEYS[] = {
    {FencerCommand::advance, 'd', 'k', "Advance (one cell towards the opponent)"},
    {FencerCommand::retreat, 'a', ';', "Retreat (one cell back)"},
    {FencerCommand::lunge, 'f', 'j', "Lunge"},
    {FencerCommand::parry, 's', 'l', "Parry"},
    {FencerCommand::recover, 'w', 'o', "Recover (abort your own lunge)"},
};

// The lower-case key that gives this command to the fencer with this player number
// (LEFT_PLAYER or RIGHT_PLAYER).
unsigned char commandKey(std::int32_t playerNumber, FencerCommand command);

// The player (LEFT_PLAYER or RIGHT_PLAYER) whose fencer this key commands, in either case;
// NO_PLAYER for a key of neither.
inline constexpr std::int32_t NO_PLAYER = 0;
std::int32_t playerOfKey(unsigned char key);

// The fencers that the players at this machine move with its keyboard and pads; another
// side is fenced from elsewhere (by the computer), and its keys and pads do nothing here.
struct LocalSides {
    bool left = true;
    bool right = true;
};

// Whether sides holds the fencer with this player number (LEFT_PLAYER or RIGHT_PLAYER).
bool isLocalSide(LocalSides sides, std::int32_t playerNumber);

// Whoever listens to the bout from outside, as a recording does: every key that reaches
// onKeyPress (the keyboard's, the pads', the computer's, the network's), before it acts, and
// every onIdle turn, once time has passed in it. Null members are not called; both are null
// until someone listens. The computer's imagined bouts are not heard.
struct BoutListener {
    void (*keyReached)(unsigned char key);
    void (*idleTurn)();
};
extern BoutListener boutListener;

// The keyboard callback: one key of either player's five, in either case, acts at once;
// every key, also an ignored one, asks for a redraw. Keys are ignored during a halt and
// for good once either fencer has won.
void onKeyPress(unsigned char key, int x, int y);

// The idle callback, called continuously: checks the strip ends, ends parry holds, moves
// lunges one cell per whole second and scores them, and runs the timers that end halts and
// take down the fence banner.
// With nothing pending it changes nothing and asks for no redraw.
void onIdle();

// Whether the bout is over: ten seconds on the clock after the winning halt. What follows is
// the way of playing's (the game ends, or a club night moves on to its next bout).
bool boutHasEnded();

// True while onIdle has something to do at the next turn of the clock's second: a lunge in
// flight, a parry hold, a halt, the fence banner or the win's exit. While it is false only a
// key changes the bout, and onIdle does nothing before one comes.
bool waitsForTheClock();

// Milliseconds until systemClock next turns to a new whole second, at least 1: a wait of this
// long ends with the new second on the clock, or close enough to it that waiting again is short.
Milliseconds millisecondsToNextSecond();

// Both sprite rectangles back to their en-garde places, then both fencers shown en garde.
void resetSprites();

// The referee's halts. offStripHalt gives the touch to the offender's opponent and restarts
// both on their lines; crossingHalt separates the fencers; touchHalt scores the scorer's
// lunge and restarts both on their lines.
void offStripHalt(Fencer& offender);
void crossingHalt();
void touchHalt(Fencer& scorer);
// Moves the sprite rectangles 4 cells apart after a crossing.
void spreadQuads();

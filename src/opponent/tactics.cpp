#include <algorithm>
#include <iterator>
#include <optional>

#include "sandbox.h"

namespace {

// How far ahead each upper level imagines the bout, the gap it likes to keep, whether it tries
// presses in quick succession (a parry then a lunge, an advance then a lunge) against anyone
// or only against a pattern it foresees, and how many times a pattern of keys must repeat
// before it counts on it.
struct LevelTactics {
    Milliseconds lookAhead;
    std::int32_t favouriteGap;
    bool combinesAgainstAnyone;
    std::int32_t repeatsToTrust;
};

constexpr LevelTactics NORMAL_TACTICS = {1000, 5, false, 3};
constexpr LevelTactics HARD_TACTICS = {1200, 5, true, 2};

const LevelTactics& tacticsOf(const Opponent& opponent) {
    return opponent.level == OpponentLevel::hard ? HARD_TACTICS : NORMAL_TACTICS;
}

constexpr std::int32_t LONGEST_PATTERN = 6;
constexpr std::size_t FEWEST_KEYS_IN_A_PATTERN = 8;
// Two intervals this close count as the same beat.
constexpr Milliseconds BEAT_TOLERANCE = 3;
// A player without a rhythm is expected to act this often, until it shows its own pace.
constexpr Milliseconds USUAL_PLAYER_INTERVAL = 250;
constexpr Milliseconds QUICKEST_PLAYER_BEAT = 100;
// Beyond this gap nothing can happen within a second, so it only comes forward.
constexpr std::int32_t IMAGINING_GAP = 9;
constexpr Milliseconds STILL_AFTER = 1500;
constexpr Milliseconds FLOURISH_SPACING = 10;
constexpr std::size_t MOST_PRESS_TIMES = 8;

constexpr FencerCommand SINGLE_PRESSES[] = {FencerCommand::advance, FencerCommand::retreat,
                                            FencerCommand::lunge, FencerCommand::parry};
constexpr std::pair<FencerCommand, FencerCommand> COMBINATIONS[] = {
    {FencerCommand::parry, FencerCommand::lunge},   {FencerCommand::parry, FencerCommand::advance},
    {FencerCommand::advance, FencerCommand::lunge}, {FencerCommand::lunge, FencerCommand::parry},
    {FencerCommand::retreat, FencerCommand::lunge}, {FencerCommand::parry, FencerCommand::retreat},
};

std::vector<SeenKey> keysOldestFirst(const Opponent& opponent) {
    std::vector<SeenKey> keys;
    const std::int32_t kept = std::min(opponent.seenKeyCount, OPPONENT_KEYS_REMEMBERED);
    for (std::int32_t index = opponent.seenKeyCount - kept; index < opponent.seenKeyCount;
         ++index) {
        keys.push_back(
            opponent.seenKeys[static_cast<std::size_t>(index) % OPPONENT_KEYS_REMEMBERED]);
    }
    return keys;
}

// What it expects of its opponent: the keys of a pattern it has learned, or else a player who
// acts every so often as a sensible fencer would.
struct Expectation {
    bool rhythm;
    bool still;
    std::vector<SeenKey> keys;  // with a rhythm: those it expects, in time order
    Milliseconds firstActionAt; // without: the first of the player's moments, then every interval
    Milliseconds interval;
};

Milliseconds intervalBefore(const std::vector<SeenKey>& keys, std::size_t index) {
    return keys[index].at - keys[index - 1].at;
}

Expectation expect(const Opponent& opponent, Milliseconds now, Milliseconds until) {
    std::vector<SeenKey> keys = keysOldestFirst(opponent);
    const std::size_t count = keys.size();
    for (std::size_t cycle = 1; cycle <= LONGEST_PATTERN; ++cycle) {
        // A few steps forward are what anyone does; a pattern is longer than that.
        const std::size_t checked = std::max<std::size_t>(
            cycle * static_cast<std::size_t>(tacticsOf(opponent).repeatsToTrust) + 1,
            FEWEST_KEYS_IN_A_PATTERN);
        if (count < checked + cycle + 1) {
            break;
        }
        bool repeats = true;
        for (std::size_t index = count - checked; index < count && repeats; ++index) {
            repeats = keys[index].key == keys[index - cycle].key &&
                      std::abs(intervalBefore(keys, index) - intervalBefore(keys, index - cycle)) <=
                          BEAT_TOLERANCE;
        }
        // A pattern the player has stopped typing is no longer expected, nor one typed all
        // at once (keys in the same millisecond), which foretells nothing.
        const Milliseconds cycleLength = keys.back().at - keys[count - 1 - cycle].at;
        if (!repeats || cycleLength <= 0 ||
            now > keys.back().at + intervalBefore(keys, count - cycle) + 50) {
            continue;
        }
        Expectation expectation{true, false, {}, 0, 0};
        for (std::size_t index = count; keys.back().at <= until; ++index) {
            keys.push_back(
                {keys.back().at + intervalBefore(keys, index - cycle), keys[index - cycle].key});
            if (keys.back().at >= now) {
                expectation.keys.push_back(keys.back());
            }
        }
        return expectation;
    }
    // A person acts on the beat of their glances, not always pressing a key: the shortest
    // recent interval is the beat.
    Milliseconds interval = count > 1 ? intervalBefore(keys, count - 1) : USUAL_PLAYER_INTERVAL;
    for (std::size_t index = count > 8 ? count - 8 : 1; index < count; ++index) {
        interval = std::min(interval, intervalBefore(keys, index));
    }
    interval = std::clamp<Milliseconds>(interval, QUICKEST_PLAYER_BEAT, USUAL_PLAYER_INTERVAL * 2);
    // A player who has pressed nothing for a while is expected to go on doing nothing.
    const bool still = count == 0 || now - keys.back().at > STILL_AFTER;
    const Milliseconds next = count > 0 ? std::max(keys.back().at + interval, now) : now;
    return {false, still, {}, next, interval};
}

// The bout as the two sides stand, from the computer's side.
struct Sides {
    Fencer& own;
    Fencer& other;
    int& ownLunging;
    int& otherLunging;
    unsigned char otherKey(FencerCommand command) const {
        return commandKey(other.playerNumber, command);
    }
};

Sides sidesOf(const Opponent& opponent) {
    const bool left = opponent.playerNumber == LEFT_PLAYER;
    return {
        left ? *bout.leftFencer : *bout.rightFencer, left ? *bout.rightFencer : *bout.leftFencer,
        left ? bout.leftLunging : bout.rightLunging, left ? bout.rightLunging : bout.leftLunging};
}

std::int32_t roomBehind(const Opponent& opponent, const Fencer& own) {
    return opponent.playerNumber == LEFT_PLAYER ? own.position - STRIP_FIRST_CELL
                                                : STRIP_LAST_CELL - own.position;
}

// Against a fencer who stays where it is: whether the other's lunge has the steps left to
// arrive.
bool otherLungeCanArrive(const Opponent& opponent) {
    const bool otherIsLeft = opponent.playerNumber == RIGHT_PLAYER;
    const std::int32_t cellsBeyondStart = otherIsLeft
                                              ? bout.leftFencer->position - bout.leftLungeStart
                                              : bout.rightLungeStart - bout.rightFencer->position;
    const std::int32_t stepsLeft = std::max(0, LUNGE_TRAVEL_CELLS + 1 - cellsBeyondStart);
    return gap() - stepsLeft <= LUNGE_ARRIVAL_GAP;
}

// A sensible player's move, as the computer expects it when it knows no pattern: parry a lunge
// in reach, let its own lunge run, lunge from close by, otherwise come forward.
std::optional<FencerCommand> sensibleMove(const Sides& sides) {
    if (sides.ownLunging == 1 && gap() <= PARRY_REACH_CELLS) {
        return FencerCommand::parry;
    }
    if (sides.otherLunging == 1) {
        return std::nullopt;
    }
    return gap() <= LUNGE_TRAVEL_CELLS + 1 ? FencerCommand::lunge : FencerCommand::advance;
}

// Reused from one imagined bout to the next.
std::vector<Milliseconds> mergedMoments;

// The moments at which the imagined bout may change without the computer: the player's keys
// or moves as expected, the clock turning, and the millisecond after each.
std::vector<Milliseconds> momentsWithout(Milliseconds now, Milliseconds until,
                                         const Expectation& expectation, bool playerActs) {
    std::vector<Milliseconds> moments = {now, until};
    if (playerActs) {
        for (const SeenKey& key : expectation.keys) {
            moments.insert(moments.end(), {key.at, key.at + 1});
        }
        if (!expectation.rhythm && !expectation.still) {
            for (Milliseconds at = expectation.firstActionAt; at <= until;
                 at += expectation.interval) {
                moments.insert(moments.end(), {at, at + 1});
            }
        }
    }
    for (Milliseconds tick =
             sandboxClock.secondBeganAt + ((now - sandboxClock.secondBeganAt) / 1000 + 1) * 1000;
         tick <= until; tick += 1000) {
        moments.insert(moments.end(), {tick, tick + 1});
    }
    std::ranges::sort(moments);
    return moments;
}

struct Candidate {
    std::array<PlannedPress, MOST_PRESSES_PER_PLAN> presses;
    std::int32_t length;
};

// The imagined bout from now until the end of the look-ahead, scored for the computer: a
// touch is worth most, sooner for its own and later for the other's; otherwise the gap it
// likes, room behind it and few keys.
double imagine(const Opponent& opponent, const BoutState& real, Milliseconds now,
               Milliseconds until, const Expectation& expectation, bool playerActs,
               const std::vector<Milliseconds>& playerMoments, const Candidate& candidate) {
    Fencer left = *real.leftFencer;
    Fencer right = *real.rightFencer;
    bout = real;
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    const Sides sides = sidesOf(opponent);
    const std::int32_t ownTouches = sides.own.touches;
    const std::int32_t otherTouches = sides.other.touches;

    // The player's moments and the clock's, merged with the candidate's presses.
    std::array<Milliseconds, 2 * MOST_PRESSES_PER_PLAN> ownMoments{};
    std::size_t ownCount = 0;
    for (std::int32_t index = 0; index < candidate.length; ++index) {
        const Milliseconds at = candidate.presses[static_cast<std::size_t>(index)].at;
        ownMoments[ownCount++] = at;
        ownMoments[ownCount++] = at + 1;
    }
    std::sort(ownMoments.begin(), ownMoments.begin() + static_cast<std::ptrdiff_t>(ownCount));
    std::vector<Milliseconds>& moments = mergedMoments;
    moments.clear();
    std::merge(playerMoments.begin(), playerMoments.end(), ownMoments.begin(),
               ownMoments.begin() + static_cast<std::ptrdiff_t>(ownCount),
               std::back_inserter(moments));
    moments.erase(std::unique(moments.begin(), moments.end()), moments.end());

    std::size_t nextKey = 0;
    for (const Milliseconds at : moments) {
        if (at > until) {
            break;
        }
        sandboxClock.now = at;
        if (playerActs) {
            for (; nextKey < expectation.keys.size() && expectation.keys[nextKey].at <= at;
                 ++nextKey) {
                if (expectation.keys[nextKey].at == at) {
                    onKeyPress(expectation.keys[nextKey].key, 0, 0);
                }
            }
            if (!expectation.rhythm && !expectation.still && at >= expectation.firstActionAt &&
                (at - expectation.firstActionAt) % expectation.interval == 0) {
                if (const std::optional<FencerCommand> move = sensibleMove(sides)) {
                    onKeyPress(sides.otherKey(*move), 0, 0);
                }
            }
        }
        for (std::int32_t index = 0; index < candidate.length; ++index) {
            const PlannedPress& planned = candidate.presses[static_cast<std::size_t>(index)];
            if (planned.at == at) {
                onKeyPress(commandKey(opponent.playerNumber, planned.command), 0, 0);
            }
        }
        onIdle();
        const double lateness = static_cast<double>(at - now) / 1000.0;
        if (sides.own.touches > ownTouches) {
            return 1000.0 - lateness;
        }
        if (sides.other.touches > otherTouches) {
            return -1000.0 + lateness;
        }
        if (bout.crossedHalt == 1) {
            break;
        }
    }
    const LevelTactics& tactics = tacticsOf(opponent);
    // Against a player who stands still it closes in to take the touch; against a pattern it
    // foresees, it closes in as far as the imagined bout shows it safe.
    const std::int32_t favouriteGap = expectation.still    ? LUNGE_ARRIVAL_GAP
                                      : expectation.rhythm ? LUNGE_ARRIVAL_GAP + 1
                                                           : tactics.favouriteGap;
    double score = -2.0 * std::abs(gap() - favouriteGap) - 0.5 * candidate.length;
    const std::int32_t room = roomBehind(opponent, sides.own);
    if (room < 4) {
        score -= 4.0 * (4 - room);
    }
    if (!expectation.rhythm && sides.otherLunging == 1 && otherLungeCanArrive(opponent)) {
        score -= 30.0; // a lunge on its way that it has not answered
    }
    return score;
}

// Against a pattern or a still player, what it expects; against anyone else the worse of a
// sensible player and one who does nothing.
double judge(const Opponent& opponent, const BoutState& real, Milliseconds now, Milliseconds until,
             const Expectation& expectation, const std::vector<Milliseconds> (&moments)[2],
             const Candidate& candidate) {
    const double facingTheExpected =
        imagine(opponent, real, now, until, expectation, true, moments[0], candidate);
    if (expectation.rhythm || expectation.still) {
        return facingTheExpected;
    }
    return std::min(facingTheExpected,
                    imagine(opponent, real, now, until, expectation, false, moments[1], candidate));
}

bool fitsTheLimit(const Opponent& opponent, const Candidate& candidate) {
    std::vector<Milliseconds> earlier;
    for (std::int32_t index = 0; index < candidate.length; ++index) {
        const Milliseconds at = candidate.presses[static_cast<std::size_t>(index)].at;
        if (!pressFitsTheLimit(opponent, at, earlier)) {
            return false;
        }
        earlier.push_back(at);
    }
    return true;
}

} // namespace

std::int32_t planPresses(const Opponent& opponent, Milliseconds now, Milliseconds earliest,
                         std::array<PlannedPress, MOST_PRESSES_PER_PLAN>& plan) {
    const LevelTactics& tactics = tacticsOf(opponent);
    const bool playing = bout.halted == 0 && bout.leftWon == 0 && bout.rightWon == 0;
    const std::int32_t distance = gap();
    if (bout.leftWon == 1 || bout.rightWon == 1) {
        return 0;
    }
    if (playing && distance > IMAGINING_GAP && bout.leftLunging == 0 && bout.rightLunging == 0) {
        plan[0] = {earliest, FencerCommand::advance};
        return 1;
    }
    const Milliseconds until = earliest + tactics.lookAhead;
    const Expectation expectation = expect(opponent, now, until);

    // The moments worth pressing at: as soon as it can, just before and after each key it
    // expects, and just before and as the bout's clock turns.
    std::vector<Milliseconds> times = {earliest};
    const auto addTime = [&](Milliseconds at) {
        if (at >= earliest && at <= earliest + tactics.lookAhead / 2) {
            times.push_back(at);
        }
    };
    for (const SeenKey& key : expectation.keys) {
        addTime(key.at - 1);
        addTime(key.at + 1);
    }
    if (!expectation.rhythm && !expectation.still) {
        for (const Milliseconds around : {-2, -1, 1}) {
            addTime(expectation.firstActionAt + around);
        }
    }
    const Milliseconds firstTick =
        opponent.secondBeganAt + ((earliest - opponent.secondBeganAt) / 1000 + 1) * 1000;
    addTime(firstTick - 1);
    addTime(firstTick);
    std::ranges::sort(times);
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (times.size() > MOST_PRESS_TIMES) {
        times.resize(MOST_PRESS_TIMES);
    }

    std::vector<Candidate> candidates = {{{}, 0}};
    for (const Milliseconds at : times) {
        for (const FencerCommand command : SINGLE_PRESSES) {
            candidates.push_back({{PlannedPress{at, command}}, 1});
        }
    }
    // Its own lunge in flight may be given up: two lunges at once can otherwise hold each
    // other off for good, the left one stepping each second and the right one waiting on it.
    if (sidesOf(opponent).ownLunging == 1) {
        candidates.push_back({{PlannedPress{earliest, FencerCommand::recover}}, 1});
    }
    if (expectation.rhythm || tactics.combinesAgainstAnyone) {
        for (std::size_t first = 0; first < times.size(); ++first) {
            for (std::size_t second = first + 1; second < std::min(first + 3, times.size());
                 ++second) {
                for (const auto& [firstCommand, secondCommand] : COMBINATIONS) {
                    candidates.push_back({{PlannedPress{times[first], firstCommand},
                                           PlannedPress{times[second], secondCommand}},
                                          2});
                }
            }
        }
        // A parry, a step in and a lunge in one quick run of the fingers: the only way past a
        // player who lunges again and again from where he stands.
        for (const Milliseconds at : times) {
            candidates.push_back({{PlannedPress{at, FencerCommand::parry},
                                   PlannedPress{at + FLOURISH_SPACING, FencerCommand::advance},
                                   PlannedPress{at + 2 * FLOURISH_SPACING, FencerCommand::lunge}},
                                  3});
        }
    }
    const SavedWorld saved;
    sandboxClock = {now, opponent.secondBeganAt, opponent.second};
    const std::vector<Milliseconds> moments[2] = {momentsWithout(now, until, expectation, true),
                                                  momentsWithout(now, until, expectation, false)};
    const Candidate* best = nullptr;
    double bestScore = 0.0;
    for (const Candidate& candidate : candidates) {
        if (!fitsTheLimit(opponent, candidate)) {
            continue;
        }
        const double score =
            judge(opponent, saved.shared, now, until, expectation, moments, candidate);
        if (best == nullptr || score > bestScore) {
            best = &candidate;
            bestScore = score;
        }
    }
    if (best == nullptr) {
        return 0;
    }
    std::copy_n(best->presses.begin(), best->length, plan.begin());
    return best->length;
}

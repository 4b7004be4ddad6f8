#include "sandbox.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// How each level fences. Reaction times are drawn evenly between the two bounds. Easy decides
// by the plain rules below: the parry chance is decided once for each lunge it sees begin; a
// mistake turns a press it meant into a lunge or a parry that does no good (never a retreat,
// so never off its own end). The upper levels decide by their tactics, and a mistake there
// is a decision it lets pass: normal lets one in five pass, as with one in ten hard beat it in
// only two bouts of three from the left.
struct LevelTraits {
    Milliseconds quickestReaction;
    Milliseconds slowestReaction;
    int parryPercent;
    int mistakePercent;
    bool evades; // steps back from a lunge it will not parry
    std::int32_t nearestAttackGap;
    std::int32_t farthestAttackGap;
    Milliseconds glanceEvery; // while nothing calls for a key, it looks at the strip this often
};

constexpr LevelTraits LEVEL_TRAITS[] = {
    /* easy   */ {380, 650, 35, 15, false, 4, 5, 100},
    /* normal */ {220, 360, 65, 20, false, 3, 4, 100},
    /* hard   */ {150, 190, 90, 0, true, 3, 3, 40},
};

// No person reacts quicker than this to what happens on the strip.
constexpr Milliseconds QUICKEST_HUMAN_REACTION = 150;
static_assert(std::ranges::all_of(LEVEL_TRAITS, [](const LevelTraits& traits) {
    return traits.quickestReaction >= QUICKEST_HUMAN_REACTION &&
           traits.slowestReaction >= traits.quickestReaction;
}));

// The farthest gap from which a lunge arrives against a fencer who stands still.
constexpr std::int32_t LUNGE_REACH = LUNGE_TRAVEL_CELLS + 1 + LUNGE_ARRIVAL_GAP;

// The bout as its fencer sees it, from its own side.
struct View {
    bool playing; // no halt, nobody has won
    std::int32_t gap;
    bool ownLunging;
    bool opponentLunging;
    std::int32_t cellsBeyondLungeStart; // how far its own lunge has carried it
    std::int32_t roomBehind;            // retreats left before its own end
};

const LevelTraits& traitsOf(const Opponent& opponent) {
    return LEVEL_TRAITS[static_cast<int>(opponent.level)];
}

bool percentChance(Opponent& opponent, int percent) {
    return std::uniform_int_distribution<int>(0, 99)(opponent.random) < percent;
}

std::int32_t pickAttackGap(Opponent& opponent) {
    const LevelTraits& traits = traitsOf(opponent);
    return std::uniform_int_distribution<std::int32_t>(traits.nearestAttackGap,
                                                       traits.farthestAttackGap)(opponent.random);
}

View glance(const Opponent& opponent) {
    const bool left = opponent.playerNumber == LEFT_PLAYER;
    const std::int32_t own = left ? bout.leftFencer->position : bout.rightFencer->position;
    const std::int32_t lungeStart = left ? bout.leftLungeStart : bout.rightLungeStart;
    return {bout.halted == 0 && bout.leftWon == 0 && bout.rightWon == 0,
            gap(),
            (left ? bout.leftLunging : bout.rightLunging) == 1,
            (left ? bout.rightLunging : bout.leftLunging) == 1,
            left ? own - lungeStart : lungeStart - own,
            left ? own - STRIP_FIRST_CELL : STRIP_LAST_CELL - own};
}

// Against a fencer who stays where it is: the steps its lunge has left, and then the gap.
bool ownLungeCanArrive(const View& view) {
    const std::int32_t stepsLeft = std::max(0, LUNGE_TRAVEL_CELLS + 1 - view.cellsBeyondLungeStart);
    return view.gap - stepsLeft <= LUNGE_ARRIVAL_GAP;
}

std::optional<FencerCommand> meant(Opponent& opponent, const View& view) {
    const LevelTraits& traits = traitsOf(opponent);
    if (view.opponentLunging && !opponent.sawOpponentLunging) {
        opponent.willParry = percentChance(opponent, traits.parryPercent);
    }
    opponent.sawOpponentLunging = view.opponentLunging;
    if (!view.playing) {
        return std::nullopt;
    }
    if (view.opponentLunging) {
        if (opponent.willParry && view.gap <= PARRY_REACH_CELLS) {
            return FencerCommand::parry;
        }
        if (!opponent.willParry && traits.evades && view.gap <= LUNGE_REACH &&
            view.roomBehind > 0) {
            return FencerCommand::retreat;
        }
        if (!view.ownLunging) {
            return std::nullopt; // stepping into a lunge would only help it arrive
        }
    }
    if (view.ownLunging) {
        return ownLungeCanArrive(view) ? std::nullopt
                                       : std::optional<FencerCommand>(FencerCommand::recover);
    }
    if (view.gap <= opponent.attackGap || view.gap <= LUNGE_ARRIVAL_GAP) {
        opponent.attackGap = pickAttackGap(opponent);
        return FencerCommand::lunge;
    }
    return FencerCommand::advance;
}

std::optional<FencerCommand> decide(Opponent& opponent, const View& view) {
    std::optional<FencerCommand> command = meant(opponent, view);
    if (command && percentChance(opponent, traitsOf(opponent).mistakePercent)) {
        command = percentChance(opponent, 50) ? FencerCommand::lunge : FencerCommand::parry;
    }
    return command;
}

// The reaction before a press: drawn evenly between the level's bounds.
Milliseconds reactionTime(Opponent& opponent) {
    const LevelTraits& traits = traitsOf(opponent);
    return std::uniform_int_distribution<Milliseconds>(traits.quickestReaction,
                                                       traits.slowestReaction)(opponent.random);
}

void press(Opponent& opponent, const PlannedPress& planned, Milliseconds now) {
    if (!pressFitsTheLimit(opponent, now)) {
        return;
    }
    opponent
        .recentPresses[static_cast<std::size_t>(opponent.pressCount) % MOST_PRESSES_PER_SECOND] =
        now;
    ++opponent.pressCount;
    opponent.latestPressSeenAt = opponent.planSeenAt;
    opponent.latestPressPlannedAt = planned.at;
    onKeyPress(commandKey(opponent.playerNumber, planned.command), 0, 0);
}

// The lunges move on as the bout's clock turns to a new second; it notes when that happens.
void watchTheClock(Opponent& opponent, Milliseconds now) {
    const WholeSeconds second = controlHooks.now();
    if (second != opponent.second || opponent.secondBeganAt < 0) {
        opponent.second = second;
        opponent.secondBeganAt = now;
    }
}

void glanceAndDecide(Opponent& opponent, Milliseconds now) {
    opponent.planSeenAt = now;
    opponent.planDone = 0;
    opponent.planLength = 0;
    const Milliseconds earliest = now + reactionTime(opponent);
    if (opponent.level == OpponentLevel::easy) {
        if (const std::optional<FencerCommand> command = decide(opponent, glance(opponent))) {
            opponent.plan[0] = {earliest, *command};
            opponent.planLength = 1;
        }
    } else {
        opponent.planLength = planPresses(opponent, now, earliest, opponent.plan);
        // A press meant for later waits for a later glance, which may see better; and now
        // and then it hesitates and lets the moment pass.
        if (opponent.planLength > 0 &&
            (opponent.plan[0].at >= earliest + traitsOf(opponent).glanceEvery ||
             percentChance(opponent, traitsOf(opponent).mistakePercent))) {
            opponent.planLength = 0;
        }
    }
    opponent.glanceAt = opponent.planLength > 0
                            ? opponent.plan[static_cast<std::size_t>(opponent.planLength - 1)].at
                            : now + traitsOf(opponent).glanceEvery;
}

} // namespace

Opponent createOpponent(std::int32_t playerNumber, OpponentLevel level, std::uint32_t seed) {
    Opponent opponent;
    opponent.playerNumber = playerNumber;
    opponent.level = level;
    opponent.random.seed(seed);
    opponent.attackGap = pickAttackGap(opponent);
    return opponent;
}

void opponentStep(Opponent& opponent) {
    const Milliseconds now = controlHooks.nowMilliseconds();
    watchTheClock(opponent, now);
    while (opponent.planDone < opponent.planLength &&
           opponent.plan[static_cast<std::size_t>(opponent.planDone)].at <= now) {
        press(opponent, opponent.plan[static_cast<std::size_t>(opponent.planDone)], now);
        ++opponent.planDone;
    }
    if (opponent.planDone == opponent.planLength && now >= opponent.glanceAt) {
        glanceAndDecide(opponent, now);
    }
}

Milliseconds opponentDueAt(const Opponent& opponent) {
    if (opponent.planDone < opponent.planLength) {
        return opponent.plan[static_cast<std::size_t>(opponent.planDone)].at;
    }
    return opponent.glanceAt;
}

LoopSource opponentSource(Opponent& opponent) {
    LoopSource source;
    source.dueAt = [&opponent] { return opponentDueAt(opponent); };
    source.turn = [&opponent] { opponentStep(opponent); };
    return source;
}

void opponentSeesKey(Opponent& opponent, unsigned char key) {
    const unsigned char typed = key == ':' ? ';' : static_cast<unsigned char>(std::tolower(key));
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (typed == (opponent.playerNumber == LEFT_PLAYER ? keys.rightKey : keys.leftKey)) {
            const std::size_t slot =
                static_cast<std::size_t>(opponent.seenKeyCount) % OPPONENT_KEYS_REMEMBERED;
            opponent.seenKeys[slot] = {controlHooks.nowMilliseconds(), typed};
            ++opponent.seenKeyCount;
            return;
        }
    }
}

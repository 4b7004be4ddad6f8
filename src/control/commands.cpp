#include "control.h"

#include "console.h"
#include "sides.h"

namespace {

// The key as typed with shift held: the letter's upper case, ':' for ';'.
unsigned char shiftedKey(unsigned char key) {
    if (key == ';') {
        return ':';
    }
    return key >= 'a' && key <= 'z' ? static_cast<unsigned char>(key - 'a' + 'A') : key;
}

bool isKeyFor(unsigned char typed, unsigned char tableKey) {
    return typed == tableKey || typed == shiftedKey(tableKey);
}

void showScoreboard() {
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
}

// The sprite moves first, also when the step then leads to a halt; the halt puts it right.
void retreat(const Side& side) {
    moveQuad(side.quad, -side.forwardCells * UNITS_PER_CELL);
    retreatFencer(side.fencer);
    if (isOffItsEnd(side)) {
        offStripHalt(side.fencer);
    }
    showScoreboard();
}

void advance(const Side& side) {
    moveQuad(side.quad, side.forwardCells * UNITS_PER_CELL);
    advanceFencer(side.fencer);
    if (fencersHaveCrossed(*bout.leftFencer, *bout.rightFencer)) {
        crossingHalt();
    }
    showScoreboard();
}

// A lunge starts at any distance; pressed again it starts afresh from the present cell.
void lunge(const Side& side) {
    controlHooks.showPose(side.lunge);
    side.lungeStart = side.fencer.position;
    side.lunging = 1;
    announce("\n%s attacks with a lunge!!\n", side.fencer.name);
    bout.actionTime = controlHooks.now();
}

// The parry pose is held whatever the parry meets, until the idle step ends the hold.
void parry(const Side& side) {
    controlHooks.showPose(side.parry);
    if (side.opponentLunging == 1) {
        if (gap() > PARRY_REACH_CELLS) {
            announce("\n%s, you are too far away to parry.\n", side.fencer.name);
        } else {
            side.opponentLunging = 0;
            controlHooks.playSound(BoutSound::bladeClash);
            controlHooks.showPose(side.opponentEngarde);
            announce("%s has parried %s\n", side.fencer.name, side.opponent.name);
        }
    } else {
        announce("\n%s, no one is attacking for you to parry.\n", side.fencer.name);
    }
    side.parryHold = 1;
    bout.actionTime = controlHooks.now();
}

// Recover only ends one's own lunge; it neither ends a parry hold nor stamps the time.
void recover(const Side& side) {
    if (side.lunging == 1) {
        side.lunging = 0;
        controlHooks.showPose(side.engarde);
        announce("%s aborts the lunge and recovers\n", side.fencer.name);
    } else {
        announce("%s, you are already en garde\n", side.fencer.name);
    }
}

void runCommand(const Side& side, FencerCommand command) {
    switch (command) {
    case FencerCommand::retreat:
        retreat(side);
        break;
    case FencerCommand::parry:
        parry(side);
        break;
    case FencerCommand::advance:
        advance(side);
        break;
    case FencerCommand::lunge:
        lunge(side);
        break;
    case FencerCommand::recover:
        recover(side);
        break;
    }
}

} // namespace

BoutListener boutListener{nullptr, nullptr};

void onKeyPress(unsigned char key, int /*x*/, int /*y*/) {
    if (boutListener.keyReached != nullptr) {
        boutListener.keyReached(key);
    }
    const bool keyboardFree = bout.halted == 0 && bout.leftWon == 0 && bout.rightWon == 0;
    if (keyboardFree) {
        for (const CommandKeys& keys : COMMAND_KEYS) {
            if (isKeyFor(key, keys.leftKey)) {
                runCommand(leftSide(), keys.command);
                break;
            }
            if (isKeyFor(key, keys.rightKey)) {
                runCommand(rightSide(), keys.command);
                break;
            }
        }
    }
    controlHooks.requestRedraw();
}

unsigned char commandKey(std::int32_t playerNumber, FencerCommand command) {
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (keys.command == command) {
            return playerNumber == LEFT_PLAYER ? keys.leftKey : keys.rightKey;
        }
    }
    return 0;
}

std::int32_t playerOfKey(unsigned char key) {
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (isKeyFor(key, keys.leftKey)) {
            return LEFT_PLAYER;
        }
        if (isKeyFor(key, keys.rightKey)) {
            return RIGHT_PLAYER;
        }
    }
    return NO_PLAYER;
}

bool isLocalSide(LocalSides sides, std::int32_t playerNumber) {
    return playerNumber == LEFT_PLAYER ? sides.left : playerNumber == RIGHT_PLAYER && sides.right;
}

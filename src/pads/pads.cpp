#include "pads.h"

#include <SDL.h>
#include <limits>
#include <memory>

namespace {

// A push counts past half the stick's travel, and the stick is ready again once it has come
// back to within a quarter of it.
constexpr Sint16 STICK_PUSH = SDL_JOYSTICK_AXIS_MAX / 2;
constexpr Sint16 STICK_REARM = SDL_JOYSTICK_AXIS_MAX / 4;

constexpr std::int64_t NEVER = std::numeric_limits<std::int64_t>::max();

using PadHandle = std::unique_ptr<SDL_GameController, decltype(&SDL_GameControllerClose)>;

struct PadSide {
    std::int32_t playerNumber;
    int towardsOpponent; // on the pad's x axis: +1 right, -1 left
    PadHandle pad{nullptr, SDL_GameControllerClose};
    SDL_JoystickID instance = -1;
    int stickPushed = 0; // the way the stick was pushed and has not come back from, or 0
    bool local = true;   // whether a player here fences this side: else no pad takes it
};

PadSide padSides[] = {{LEFT_PLAYER, +1}, {RIGHT_PLAYER, -1}};
std::int64_t nextPollMilliseconds = NEVER;
int pressesThisLook = 0; // presses passed on to onKeyPress during the present look

struct ButtonCommand {
    SDL_GameControllerButton button;
    FencerCommand command;
};
constexpr ButtonCommand FACE_BUTTONS[] = {
    {SDL_CONTROLLER_BUTTON_A, FencerCommand::lunge},
    {SDL_CONTROLLER_BUTTON_B, FencerCommand::parry},
    {SDL_CONTROLLER_BUTTON_X, FencerCommand::recover},
};

void give(const PadSide& side, FencerCommand command) {
    ++pressesThisLook;
    onKeyPress(commandKey(side.playerNumber, command), 0, 0);
}

// A step along the strip, by the way the player pushed on the pad's x axis.
void step(const PadSide& side, int way) {
    give(side, way == side.towardsOpponent ? FencerCommand::advance : FencerCommand::retreat);
}

void press(const PadSide& side, Uint8 button) {
    if (button == SDL_CONTROLLER_BUTTON_DPAD_RIGHT || button == SDL_CONTROLLER_BUTTON_DPAD_LEFT) {
        step(side, button == SDL_CONTROLLER_BUTTON_DPAD_RIGHT ? +1 : -1);
        return;
    }
    for (const ButtonCommand& face : FACE_BUTTONS) {
        if (face.button == button) {
            give(side, face.command);
        }
    }
}

void moveStick(PadSide& side, Sint16 x) {
    if (x > -STICK_REARM && x < STICK_REARM) {
        side.stickPushed = 0;
        return;
    }
    const int way = x >= STICK_PUSH ? +1 : (x <= -STICK_PUSH ? -1 : 0);
    if (way != 0 && way != side.stickPushed) {
        side.stickPushed = way;
        step(side, way);
    }
}

PadSide* sideOf(SDL_JoystickID instance) {
    for (PadSide& side : padSides) {
        if (side.pad && side.instance == instance) {
            return &side;
        }
    }
    return nullptr;
}

void release(PadSide& side) {
    side.pad.reset();
    side.instance = -1;
    side.stickPushed = 0;
}

// SDL may announce a pad it has announced before (when its mapping changes); it keeps its side.
void take(PadSide& side, int deviceIndex) {
    PadHandle pad(SDL_GameControllerOpen(deviceIndex), SDL_GameControllerClose);
    if (!pad) {
        return;
    }
    const SDL_JoystickID instance =
        SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad.get()));
    if (sideOf(instance) == nullptr) {
        side.pad = std::move(pad);
        side.instance = instance;
    }
}

void connect(int deviceIndex) {
    for (PadSide& side : padSides) {
        if (side.local && !side.pad) {
            take(side, deviceIndex);
            return;
        }
    }
}

// A side that comes free goes to the pad that has waited longest: SDL's instance ids grow in
// the order pads are connected. The pad just unplugged may still be listed.
void giveToWaitingPad(PadSide& side, SDL_JoystickID unplugged) {
    int waiting = -1;
    SDL_JoystickID earliest = 0;
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
        const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);
        if (SDL_IsGameController(index) && instance != unplugged && sideOf(instance) == nullptr &&
            (waiting < 0 || instance < earliest)) {
            waiting = index;
            earliest = instance;
        }
    }
    if (waiting >= 0) {
        take(side, waiting);
    }
}

void handle(const SDL_Event& event) {
    if (event.type == SDL_CONTROLLERDEVICEADDED) {
        connect(event.cdevice.which);
        return;
    }
    PadSide* side = nullptr;
    if (event.type == SDL_CONTROLLERDEVICEREMOVED && (side = sideOf(event.cdevice.which))) {
        release(*side);
        giveToWaitingPad(*side, event.cdevice.which);
    } else if (event.type == SDL_CONTROLLERBUTTONDOWN && (side = sideOf(event.cbutton.which))) {
        press(*side, event.cbutton.button);
    } else if (event.type == SDL_CONTROLLERAXISMOTION &&
               event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX &&
               (side = sideOf(event.caxis.which))) {
        moveStick(*side, event.caxis.value);
    }
}

} // namespace

bool openPads(LocalSides sides) {
    // Without this SDL would take over Ctrl-C and the game would no longer stop on it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        return false;
    }
    for (PadSide& side : padSides) {
        side.local = isLocalSide(sides, side.playerNumber);
    }
    nextPollMilliseconds = std::numeric_limits<std::int64_t>::min();
    return true;
}

int pollPads(std::int64_t nowMilliseconds) {
    if (nowMilliseconds < nextPollMilliseconds) {
        return 0;
    }
    nextPollMilliseconds = nowMilliseconds + PAD_POLL_INTERVAL_MILLISECONDS;
    pressesThisLook = 0;
    SDL_Event event;
    while (SDL_PollEvent(&event) == 1) {
        handle(event);
    }
    return pressesThisLook;
}

void closePads() {
    if (nextPollMilliseconds == NEVER) {
        return;
    }
    for (PadSide& side : padSides) {
        release(side);
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    nextPollMilliseconds = NEVER;
}

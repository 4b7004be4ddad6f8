// Sound: the scoring box's buzzer when a lamp lights and the clash of blades when a parry stops
// a lunge. Both are synthesised here once, at start-up, and played on one SDL audio output,
// queued from the game's own thread; a new sound cuts the one still playing short.
#pragma once

#include "control.h"

// Opens the default audio output and synthesises both sounds. Returns false when no output
// could be opened: the game then goes on silently, and one line on standard error says why.
// Call it once, before the first playBoutSound; the output stays open until the process ends.
bool openBoutSounds();

// Cuts short whatever still plays and starts this sound: the stored samples are copied into
// SDL's queue, nothing is synthesised or allocated by the game here. Does nothing when no
// output is open. The game points controlHooks.playSound at it.
void playBoutSound(BoutSound sound);

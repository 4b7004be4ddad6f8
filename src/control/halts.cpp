#include "control.h"

ControlHooks controlHooks{};
void resetSprites() {}

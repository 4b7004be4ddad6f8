#include "control.h"

void onIdle() {}

#include "control.h"

void onKeyPress(unsigned char, int, int) {}

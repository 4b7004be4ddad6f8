#include "display.h"

void loadPoseTexture(Pose) {}
void drawFrame() {}

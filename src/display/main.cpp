#include <cstdio>

#include "bout.h"
#include "console.h"

int main() {
    char* firstName = nullptr;
    char* secondName = nullptr;
    bout.touchLimit = runSetupDialogue(stdin, &firstName, &secondName, 0);
    bout.leftFencer = createFencer(firstName, LEFT_PLAYER);
    bout.rightFencer = createFencer(secondName, RIGHT_PLAYER);
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
    return 0;
}

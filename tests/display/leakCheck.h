// Leak checking for tests that open a window, in sanitizer builds: the graphics driver's own
// memory looks leaked once the driver is unloaded at exit, so the check runs earlier.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define LAMEVO_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LAMEVO_LEAK_CHECK 1
#endif
#endif

#ifdef LAMEVO_LEAK_CHECK
#include <cstdlib>
#include <sanitizer/lsan_interface.h>
#endif

// The software renderer's worker threads can crash the leak checker while they run, so
// sanitizer builds ask it to draw on the calling thread. Call before the window is made.
inline void prepareForLeakCheck() {
#ifdef LAMEVO_LEAK_CHECK
    setenv("LP_NUM_THREADS", "0", 0);
#endif
}

// Reports every leak now and ends the process with the sanitizer's status if there is one;
// the check at exit is then skipped. Does nothing in other builds.
inline void checkForLeaksNow() {
#ifdef LAMEVO_LEAK_CHECK
    __lsan_do_leak_check();
#endif
}

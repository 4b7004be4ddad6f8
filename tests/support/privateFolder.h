// A folder of this test process's own under the temporary directory. Each test runs as a
// process of its own and two run at once (and two builds' runs may share the machine), so a
// fixed name such as /tmp/bout1.txt would be written by one test while another reads it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

// The folder's path, ending in '/'; made at the first call and removed when the process ends.
// Aborts the test program if none can be made.
inline const std::string& privateFolder() {
    static const std::string folder = [] {
        std::string pattern = testing::TempDir() + "lamevoTestXXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("privateFolder: mkdtemp");
            std::abort();
        }
        return pattern + "/";
    }();
    static const bool removedAtExit = [] {
        return std::atexit([] {
                   std::error_code ignored;
                   std::filesystem::remove_all(folder, ignored);
               }) == 0;
    }();
    (void)removedAtExit;
    return folder;
}

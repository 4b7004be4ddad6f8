# The Debian packages the game needs to build and run, and those its tests need on top.
GAME_PACKAGES=(g++ cmake make pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libsdl2-dev libenet-dev xfonts-base)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev libstb-dev python3 xvfb xauth xdotool x11-apps x11-utils)
# The Debian package: cpack works out its Depends with dpkg-dev and file; its tests check it
# with lintian, desktop-file-validate and appstreamcli. The pose tool writes its icons with zlib.
GAME_PACKAGES+=(dpkg-dev file)
TEST_PACKAGES+=(zlib1g-dev lintian desktop-file-utils appstream)
# The fuzz build: clang with its libFuzzer.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

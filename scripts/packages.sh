# The Debian packages the game needs to build and run, and those its tests need on top.
GAME_PACKAGES=(g++ cmake make freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libsdl2-dev xfonts-base)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev libstb-dev python3 xvfb xauth xdotool x11-apps x11-utils)

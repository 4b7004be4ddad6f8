# The Debian packages the game needs to build and run, and those its tests need on top.
GAME_PACKAGES=(g++ cmake make pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libsdl2-dev libenet-dev xfonts-base)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev libstb-dev python3 xvfb xauth xdotool x11-apps x11-utils)
# The Debian package: cpack works out its Depends with dpkg-dev and file; its tests check it
# with lintian, desktop-file-validate and appstreamcli. The pose tool writes its icons with zlib.
GAME_PACKAGES+=(dpkg-dev file)
TEST_PACKAGES+=(zlib1g-dev lintian desktop-file-utils appstream)
# Asking the home router to forward the host's port: UPnP IGD and NAT-PMP. The network lab of
# the window tests: namespaces with NAT routers (nftables), their UPnP/NAT-PMP daemon and the
# tools that look into them. The install runs with DEBIAN_FRONTEND=noninteractive, so the
# daemon's questions get their defaults (not started at boot).
GAME_PACKAGES+=(libminiupnpc-dev libnatpmp-dev)
TEST_PACKAGES+=(nftables miniupnpd-nftables miniupnpc natpmpc conntrack)
# The fuzz build: clang with its libFuzzer.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Shared by ./run and ./test: installs the Debian packages the project needs.
# Sourced, not run.

# Building and playing.
RUN_PACKAGES=(build-essential cmake pkg-config libsdl2-dev libepoxy-dev libpng-dev zlib1g-dev
  libgl1 libglx-mesa0 libgl1-mesa-dri libgtest-dev libbenchmark-dev)
# Testing: a virtual X server for the real-window tests, clang for the fuzzer,
# the desktop's validators for the installed desktop entry and metainfo,
# assimp for the .x reader's comparison benchmark (never linked by the game),
# xdotool to answer the start-up question in the game's window, and GNU time
# for the fault injection's peak memory.
TEST_PACKAGES=(xvfb xauth clang libclang-rt-dev desktop-file-utils appstream libx11-dev libassimp-dev
  xdotool time)
# The browser build (scripts/web_build.sh, ./run --web) and its test in
# headless Chromium: emscripten, and what builds SDL2, zlib and libpng for it
# from Debian's source packages.
WEB_PACKAGES=(emscripten nodejs ninja-build dpkg-dev python3 chromium)
# The Windows build (scripts/windows_build.sh, ./run --windows): mingw-w64
# with POSIX threads (std::thread), what builds SDL2, zlib, libpng and
# libepoxy for it from Debian's source packages, and NSIS for the installer.
# ./test also runs it under Wine and builds the Debian package, checked with
# lintian.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools dpkg-dev ninja-build meson cmake
  python3 nsis)
WINDOWS_TEST_PACKAGES=(wine wine64 xvfb xauth libgl1-mesa-dri lintian)
# scripts/screenshots.sh: the virtual X server, and montage with a font for
# the model sheet's labels.
SCREENSHOT_PACKAGES=(xvfb xauth imagemagick fonts-dejavu-core)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

ensure_packages() {
  local missing
  missing=$(missing_packages "$@" | tr '\n' ' ')
  [ -z "${missing// /}" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing: $missing" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y $missing" >&2
    exit 1
  fi
  echo "Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
}

build_jobs() { nproc 2>/dev/null || echo 2; }

# Sourced by the set-up commands: installs the Debian 12 packages that are missing.
# Usage: need_packages pkg...

need_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev libglib2.0-dev libgtest-dev)

# The Windows program (scripts/build-windows) and its tests under Wine. The POSIX-threads
# cross compiler only: the metapackage g++-mingw-w64-x86-64 brings the win32-threads one.
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
WINDOWS_TEST_PACKAGES=(googletest wine wine64 xvfb openbox xdotool x11-utils)

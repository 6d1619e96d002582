# Sourced by run.sh, test.sh and bench.sh: makes sure the Debian packages the build needs are present.
MAROVEX_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libsqlite3-dev libicu-dev liblz4-dev
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  qt6-webengine-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64
  desktop-file-utils
  qt6-translations-l10n
  xvfb xauth xdotool imagemagick x11-utils openbox xclip poppler-utils
)

# The Windows build (tools/windeps.sh and the programs run under Wine): the cross compiler's posix-threads
# flavour, Wine, and what building the libraries from Debian's sources takes.
MAROVEX_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev xz-utils make tcl
)

marovex_ensure_packages() {
  local missing=() p
  for p in "${MAROVEX_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
}

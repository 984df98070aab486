# Shared by the job scripts (sourced, not run).

# Debian packages of each job.
VX_MAIN_PACKAGES=(cmake ninja-build g++ libpng-dev libgif-dev libcli11-dev
                  libimagequant-dev libwebp-dev
                  libgtest-dev libgmock-dev googletest libbenchmark-dev libopencv-dev
                  libmagick++-6.q16-dev)
VX_BENCH_PACKAGES=("${VX_MAIN_PACKAGES[@]}" python3)
# The browser playground: its WebAssembly build and a local server.
VX_PLAYGROUND_PACKAGES=(cmake ninja-build emscripten python3)
# The fuzz preset: clang with libFuzzer and its sanitizer runtimes.
VX_FUZZ_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev)
VX_TEST_PACKAGES=("${VX_MAIN_PACKAGES[@]}" g++-multilib qemu-user
                  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                  binutils-mingw-w64-x86-64 wine64 dpkg-dev pkgconf unzip
                  "${VX_PLAYGROUND_PACKAGES[@]}" chromium chromium-driver python3-selenium python3-pil
                  fonts-ipafont-gothic clang libclang-rt-14-dev)

# vx_install_packages PACKAGE...: installs those not installed yet. Only
# then does it need root: as root it runs apt-get itself, as another user
# through sudo (the build itself stays the user's).
vx_install_packages() {
  local missing=() package as_root=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
      echo "missing packages (run as root, or install sudo, to install them): ${missing[*]}" >&2
      return 1
    fi
    as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update && "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# Shared by the job scripts (sourced, not run).

# Debian packages of each job.
VX_MAIN_PACKAGES=(cmake ninja-build g++ libpng-dev libgif-dev libcli11-dev
                  libimagequant-dev libwebp-dev
                  libgtest-dev libgmock-dev googletest libbenchmark-dev libopencv-dev
                  libmagick++-6.q16-dev)
VX_TEST_PACKAGES=("${VX_MAIN_PACKAGES[@]}" g++-multilib qemu-user
                  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                  binutils-mingw-w64-x86-64 wine64)

# vx_install_packages PACKAGE...: installs those not installed yet. Root is
# needed only when something is missing.
vx_install_packages() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"
}

# Sourced by the run and test commands. Installs what is missing, from Debian's packages only.

korvante_install_deps() {
  local packages=(
    cmake g++ make libgtest-dev googletest
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine32:i386 wine64 xvfb xauth xdotool imagemagick
    genisoimage xorriso cdrdao python3 unzip python3-fusepy fuse3 fonts-wine
  )
  korvante_install_packages "${packages[@]}"
}

# korvante_install_packages PACKAGE...: installs those of them that are missing.
korvante_install_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index for a minute or so; the install below still
  # fails where a package is really not to be had.
  local try
  for try in 1 2 3; do
    $sudo apt-get update -q && break
    [ $try -eq 3 ] && echo "== apt-get update failed three times; installing from the lists it has" >&2
    [ $try -eq 3 ] || sleep 20
  done
  local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends)
  # With one architecture's security index missing, its packages and the other's no longer pair
  # (multiarch libraries must be the same version in both): the release's own versions do.
  $sudo "${install[@]}" "${missing[@]}" ||
    $sudo "${install[@]}" -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" "${missing[@]}"
}

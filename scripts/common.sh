# Shared by scripts/run and scripts/test: installs missing Debian packages and
# configures and builds the project. Sourced, not run.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages the build needs on any machine.
buildPackages=(g++ cmake make pkg-config freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri
               libopenmpt-dev libsdl2-dev libx11-dev libxtst-dev libxxf86vm-dev)

# Installs those of the named packages that dpkg does not list as installed:
# one apt-get update, then one install, and nothing at all when every one is there.
installMissing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds into $1 with the remaining arguments passed to cmake.
build() {
    local dir=$1; shift
    cmake -S "$top" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

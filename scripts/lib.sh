# Shared by scripts/demo and scripts/test.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Installs whatever of scripts/packages.txt is missing (Debian 12, as root or through sudo).
install_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$ROOT/scripts/packages.txt")
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [extra cmake args...]
configure_and_build() {
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

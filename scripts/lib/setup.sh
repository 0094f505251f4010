# Shared set-up for scripts/run and scripts/test: installs the Debian packages the build needs
# (only those missing), configures once and builds. Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${QUILLMERE_BUILD_DIR:-$ROOT/build}"
JOBS="${QUILLMERE_JOBS:-2}"

BUILD_PACKAGES=(cmake g++ ninja-build ccache qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
                libgl-dev tzdata libgit2-dev pkg-config)

missing_packages() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$package"
        fi
    done
}

ensure_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Missing packages: ${missing[*]}. Install them as root (apt-get install ...)." >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

configure_and_build() {
    # Arguments are extra CMake options; a change of them reconfigures.
    local options="$*"
    local stamp="$BUILD_DIR/.quillmere-configure-options"
    if [ ! -f "$BUILD_DIR/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$options" ]; then
        cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
        printf '%s' "$options" > "$stamp"
    fi
    export CCACHE_DIR="${CCACHE_DIR:-$ROOT/.cache/ccache}"
    cmake --build "$BUILD_DIR" -j "$JOBS"
}

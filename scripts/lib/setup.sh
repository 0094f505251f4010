# Shared set-up for scripts/run and scripts/test: installs the Debian packages the build needs
# (only those missing), configures once and builds. Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${QUILLMERE_BUILD_DIR:-$ROOT/build}"
JOBS="${QUILLMERE_JOBS:-2}"

BUILD_PACKAGES=(cmake g++ ninja-build ccache qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
                libgl-dev tzdata libgit2-dev libsqlite3-dev pkg-config qt6-translations-l10n librsvg2-bin
                qt6-image-formats-plugins libqt6svg6)
# Pictures in notes are read by Qt's image plugins: WebP (qt6-image-formats-plugins) and SVG
# (libqt6svg6) load at run time, so the programs and their tests need them installed.
# The tests also run under a Japanese locale, and focus and window behaviour are also checked
# on a real X server (Xvfb), where they differ; the desktop files are validated; a second start
# hands over to the first over a private session bus.
TEST_PACKAGES=(locales xvfb xauth desktop-file-utils appstream dbus-daemon)
TEST_LOCALES=(ja_JP.UTF-8)
# scripts/fuzz: Debian's clang and the libFuzzer runtime that matches it.
FUZZ_PACKAGES=(clang libfuzzer-14-dev)

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
        return
    fi
    if ! command -v sudo >/dev/null; then
        echo "Needs root: $*. Run it as root." >&2
        exit 1
    fi
    sudo "$@"
}

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
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# Generates a UTF-8 locale of the C library unless it is there already (needs the locales
# package). Tests run under it must really run under it, not fall back to C.
ensure_locale() {
    local locale="$1" # e.g. ja_JP.UTF-8
    local name="${locale%%.*}"
    if locale -a 2>/dev/null | grep -qix -e "$locale" -e "$name.utf8"; then
        return 0
    fi
    echo "Generating the locale $locale"
    # Listed in /etc/locale.gen, so that a later locale-gen keeps it.
    if grep -q "^# *$locale UTF-8" /etc/locale.gen 2>/dev/null; then
        as_root sed -i "s/^# *$locale UTF-8/$locale UTF-8/" /etc/locale.gen
    elif ! grep -q "^$locale UTF-8" /etc/locale.gen 2>/dev/null; then
        echo "$locale UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen
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

# How a sanitized build's programs report: the first finding ends the process with a stack, so
# the test that ran it fails; leaks are findings too, less those listed (each with its reason)
# in lsan.supp, which are the system libraries' own and never ours.
export_sanitizer_options() {
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
    export LSAN_OPTIONS="suppressions=$ROOT/scripts/lib/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

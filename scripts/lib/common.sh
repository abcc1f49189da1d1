# Shared by scripts/run and scripts/test: where things are, and installing what is missing.
set -euo pipefail

KORVISTA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
KORVISTA_JOBS="$(nproc 2>/dev/null || echo 2)"

# Build and run-time packages, from Debian 12's own repositories.
KORVISTA_BUILD_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-svg-dev libgl-dev
    libsqlite3-dev sqlite3
    unixodbc-dev unixodbc odbc-postgresql odbc-mariadb libsqliteodbc tdsodbc
    fonts-dejavu-core qt6-translations-l10n
)
KORVISTA_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev
    postgresql-15 mariadb-server
    xvfb xauth python3
    chromium
)

# Installs only the packages that are not installed yet; apt-get runs only when something is missing.
install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # Keep package scripts from starting system-wide database services; tests start their own.
    local policy=/usr/sbin/policy-rc.d created_policy=0
    if [ ! -e "$policy" ] && [ "$(id -u)" -eq 0 ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && created_policy=1
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    if [ "$created_policy" -eq 1 ]; then
        rm -f "$policy"
    fi
}

# build_preset PRESET [cmake --build options...]: configures and builds build/PRESET (CMakePresets.json).
build_preset() {
    local preset="$1"
    shift
    (cd "$KORVISTA_ROOT" && cmake --preset "$preset" && cmake --build --preset "$preset" -j "$KORVISTA_JOBS" "$@")
}

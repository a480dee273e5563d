# Debian packages the build, the tests, the demo and the package need; sourced by the other scripts.
TZR_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-translations-l10n libsqlite3-dev libgsf-1-dev libfreexl-dev
              python3-xlrd xvfb xauth ser2net faketime
              desktop-file-utils appstream lintian dpkg-dev file
              clang libclang-rt-14-dev ccache)

tzr_install_packages() {
    # One query for them all: a query per package costs seconds on every start.
    local installed missing=() p
    installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${TZR_PACKAGES[@]}" 2>/dev/null |
                awk '$2 == "ii" { print $1 }' || true)
    for p in "${TZR_PACKAGES[@]}"; do
        grep -qxF "$p" <<<"$installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        echo "Installing: ${missing[*]}"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

# The compiler cache for a build of the clone at $1. The cache itself stays where ccache keeps it
# (CCACHE_DIR, else $XDG_CACHE_HOME/ccache, else ~/.cache/ccache), so every later run on the machine
# reuses it. Paths below the clone are hashed relative to it and the objects name them relative to
# it (the prefix map in CMakeLists.txt), so a fresh clone in another folder hits what an earlier
# one stored. Sets TZR_CACHE_OPTIONS to the CMake options that put the cache before the compilers.
tzr_compiler_cache() {
    TZR_CACHE_OPTIONS=()
    command -v ccache >/dev/null || return 0
    export CCACHE_BASEDIR=$1
    export CCACHE_NOHASHDIR=1
    # Qt Test gives every test the absolute build and source folders, used only by QFINDTESTDATA,
    # which the tests do not use; hashed, they would make every test a miss in another clone.
    export CCACHE_IGNOREOPTIONS="-DQT_TESTCASE_BUILDDIR=* -DQT_TESTCASE_SOURCEDIR=*"
    TZR_CACHE_OPTIONS=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
}

# Debian packages the build, the tests, the demo and the package need; sourced by the other scripts.
TZR_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-translations-l10n libsqlite3-dev libgsf-1-dev libfreexl-dev
              python3-xlrd xvfb xauth
              desktop-file-utils appstream lintian dpkg-dev file
              clang libclang-rt-14-dev)

tzr_install_packages() {
    local missing=()
    local p
    for p in "${TZR_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        echo "Installing: ${missing[*]}"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user of the installed program meets:
# the desktop entry, metainfo, icons and manual pages, --version and --help, and the launcher's
# set-up of the Korvel folder before the real window starts and closes.
# Usage: tst_install.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build=$1
app_id=$2
version=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
checks=0
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
ok() {
    checks=$((checks + 1))
    echo "ok: $*"
}

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" > /dev/null || fail "$tool is missing (scripts/packages.sh installs it)"
done

cmake --install "$build" --prefix "$prefix" > "$scratch/install.log"
ok "installed into a scratch prefix"

desktop=$prefix/share/applications/$app_id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
ok "desktop entry valid"

appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" > "$scratch/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$scratch/appstream.log")"
ok "metainfo valid"

grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry does not name the icon $app_id"
for size in 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png
    [ -f "$png" ] || fail "no icon $png"
    read -r w h < <(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$png")
    if [ "$w" != "$size" ] || [ "$h" != "$size" ]; then
        fail "$png is ${w}x$h"
    fi
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
ok "icons"

export HOME=$scratch/home
mkdir -p "$HOME"
unset XDG_DATA_HOME XDG_STATE_HOME XDG_CONFIG_HOME
export QT_QPA_PLATFORM=offscreen
korvel=$HOME/.local/share/Korvel

# Every executable on the path has its manual page, --version and --help; neither option sets up
# anything in the user's folder.
for exe in "$prefix"/bin/*; do
    name=$(basename "$exe")
    [ -f "$prefix/share/man/man1/$name.1.gz" ] || fail "no manual page for $name"
    v=$("$exe" --version) || fail "$name --version failed"
    [[ "$v" == *"$version"* ]] || fail "$name --version printed '$v'"
    "$exe" --help > "$scratch/help.txt" || fail "$name --help failed"
    grep -q -- --version "$scratch/help.txt" || fail "$name --help does not mention --version"
done
[ ! -e "$korvel" ] || fail "--version or --help created $korvel"
ok "manual pages, --version and --help"

# The first real start: the launcher sets up the Korvel folder, then the window opens and closes.
TZRUSERS_CLOSE_AFTER_MS=300 timeout 120 "$prefix/bin/tzrusers" > "$scratch/run.log" 2>&1 ||
    fail "the installed program did not start and close: $(cat "$scratch/run.log")"
[ -d "$korvel/ports" ] || fail "no $korvel/ports"
[ -d "$HOME/KORVEL" ] || fail "no working directory ~/KORVEL"
for f in TZR_LANG.ini Patron.db Patron.px Patron.val Patron.XG0 Patron.YG0; do
    cmp -s "$prefix/share/tzrusers/$f" "$korvel/$f" || fail "$f not installed in $korvel"
done
# Written by the window when it closes, so the program ran from start-up to its end.
grep -q "IDIOMA=ENGLISH" "$korvel/TZR_USR.ini" || fail "the program did not write its configuration"
ok "launcher set up the Korvel folder; the window started and closed"

setup=("$prefix/libexec/tzrusers/tzrusers-setup" "$prefix/share/tzrusers")
printf '[TZR]\r\nComPort=7\r\nPWD=MINE\r\n[Other]\r\nkept=1\r\n' > "$korvel/TZR_USR.ini"
cp "$korvel/TZR_USR.ini" "$scratch/usr.ini"
# A user's older language file and a missing template file are replaced; a user's file newer than
# the package's is kept.
printf 'old' > "$korvel/TZR_LANG.ini"
touch -d 2000-01-01 "$korvel/TZR_LANG.ini"
rm "$korvel/Patron.px"
"${setup[@]}"
cmp -s "$korvel/TZR_USR.ini" "$scratch/usr.ini" || fail "the set-up changed TZR_USR.ini"
cmp -s "$prefix/share/tzrusers/TZR_LANG.ini" "$korvel/TZR_LANG.ini" || fail "an older language file was kept"
cmp -s "$prefix/share/tzrusers/Patron.px" "$korvel/Patron.px" || fail "a missing template file was not restored"
printf 'edited' > "$korvel/TZR_LANG.ini"
touch -d 2099-01-01 "$korvel/TZR_LANG.ini"
"${setup[@]}"
[ "$(cat "$korvel/TZR_LANG.ini")" = edited ] || fail "a newer language file was replaced"
ok "set-up keeps TZR_USR.ini, replaces only older files"

echo "$checks passed, 0 failed"

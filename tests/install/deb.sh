#!/usr/bin/env bash
# Checks the Debian package as a user meets it: its control file asks for Qt, Qt
# WebEngine and the Song typeface; apt installs it; an ordinary user starts
# `quillbox`, which keeps the address book in that user's data folder and runs its
# browser with Chromium's sandbox on; apt removes it and the data stays. Needs root
# (or sudo). Installs the package and makes a user for the run, and takes both away
# again, whatever happens. Argument: the .deb file.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
deb=$(realpath "$1")
user=quillbox-test-$$
program="" installed=""
fail() {
    echo "FAIL: $*"
    exit 1
}
cleanup() {
    [ -z "$program" ] || kill -TERM "$program" 2>/dev/null || true
    if id "$user" >/dev/null 2>&1; then
        # Whatever of the user's is still running (the browser processes) goes first.
        for _ in $(seq 1 100); do
            pgrep -u "$user" >/dev/null || break
            sleep 0.1
        done
        pgrep -u "$user" | xargs -r kill -KILL 2>/dev/null || true
        userdel -r "$user" 2>/dev/null || true
    fi
    [ -z "$installed" ] || apt-get remove -y -qq quillbox >/dev/null 2>&1 || true
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' quillbox 2>/dev/null | grep -q "ok installed"; then
    fail "a quillbox package is installed on this machine already; this check would replace it"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6printsupport6 libqt6webenginewidgets6 libqt6webenginecore6 fonts-arphic-uming; do
    [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = fcitx5-frontend-qt6 ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

started=$(date +%s%N)
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
echo "deb: installed in $(( ($(date +%s%N) - started) / 1000000 )) ms"
[ -x /usr/bin/quillbox ] || fail "no /usr/bin/quillbox"

# The zygote the renderers come from; its twin started with --no-zygote-sandbox
# serves the processes that Chromium never sandboxes.
sandboxed_zygote() {
    local pid
    for pid in $(pgrep -u "$user" -f "QtWebEngineProcess.*--type=zygote" || true); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- --no-zygote-sandbox || { echo "$pid"; return; }
    done
}

useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
data=$home/.local/share/Quillbox
# Nothing of root's environment, such as a sandbox switch, reaches the program.
started=$(date +%s%N)
runuser -u "$user" -- env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
    quillbox >"/tmp/$user.log" 2>&1 &
runner=$!
browser=""
for _ in $(seq 1 600); do
    kill -0 "$runner" 2>/dev/null || { cat "/tmp/$user.log"; fail "quillbox ended at start"; }
    program=$(pgrep -u "$user" -x quillbox || true)
    [ -n "$program" ] && browser=$(sandboxed_zygote)
    [ -n "$browser" ] && [ -d "$data/to/_未分类" ] && break
    sleep 0.1
done
rm -f "/tmp/$user.log"
[ -n "$browser" ] || fail "quillbox started no browser process within a minute"
echo "deb: started, browser running, in $(( ($(date +%s%N) - started) / 1000000 )) ms"
[ -d "$data/sent" ] && [ -d "$data/to" ] && [ -d "$data/to/_未分类" ] || fail "no address book in $data"
! tr '\0' '\n' <"/proc/$program/environ" | grep -q QTWEBENGINE_DISABLE_SANDBOX || fail "the sandbox was switched off"
for pid in $(pgrep -u "$user" -f QtWebEngineProcess); do
    ! tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- --no-sandbox || fail "a browser process runs with --no-sandbox"
done
# Chromium's namespace sandbox starts its zygote in a user namespace of its own.
if [ "$(readlink "/proc/$browser/ns/user")" = "$(readlink "/proc/$program/ns/user")" ]; then
    for pid in $program $(pgrep -u "$user" -f QtWebEngineProcess); do
        echo "$pid $(readlink "/proc/$pid/ns/user") $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    done
    fail "the browser's zygote runs outside the sandbox"
fi

kill -TERM "$program"
wait "$runner" || true
program=""
apt-get remove -y -qq quillbox >/dev/null
installed=""
[ ! -e /usr/bin/quillbox ] || fail "quillbox is still installed"
[ -d "$data/to/_未分类" ] || fail "removing the package took the address book"
echo "deb: sandbox on, data kept after removal"

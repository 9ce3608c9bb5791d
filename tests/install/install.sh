#!/usr/bin/env bash
# Installs the build tree into a prefix of its own and starts the program from
# there with a home folder of its own: the address book goes to the user's data
# folder when the program runs from the folder it was built to be installed in,
# and stays beside the executable anywhere else. The installed menu entry and
# description pass the desktop's validators.
# Arguments: build tree, prefix, the program built for that prefix.
set -euo pipefail
build=$1 prefix=$2 staged=$3
app=cn.quillbox.Quillbox
tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null || true
    done
    rm -rf "$tmp" "$prefix"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
desktop-file-validate "$share/applications/$app.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/$app.metainfo.xml" || fail "metainfo"
for size in 16 22 24 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x$size/apps/$app.png
    [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "$icon is no PNG"
done
grep -q "<svg" "$share/icons/hicolor/scalable/apps/$app.svg" || fail "no scalable icon"
grep -qx "Icon=$app" "$share/applications/$app.desktop" || fail "menu entry names another icon"
cp "$staged" "$prefix/bin/quillbox-staged"

# Starts $1 with a fresh home of its own named $2 and waits until its start-up is
# over: the advertisement panes have started their browser processes.
start() {
    local home=$tmp/$2
    mkdir -p "$home"
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
        QT_QPA_PLATFORM=offscreen setsid "$1" >"$home.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 1 600); do
        kill -0 "$pid" 2>/dev/null || { cat "$home.log"; fail "$1 ended at start"; }
        pgrep -s "$pid" -f QtWebEngineProcess >/dev/null && return 0
        sleep 0.1
    done
    cat "$home.log"
    fail "$1 started no browser process within a minute"
}
folders_in() {
    [ -d "$1/sent" ] && [ -d "$1/to" ] && [ -d "$1/to/_未分类" ]
}

start "$prefix/bin/quillbox-staged" installed
folders_in "$tmp/installed/data/Quillbox" || fail "no address book in the user's data folder"
[ "$(ls "$prefix/bin")" = "$(printf 'quillbox\nquillbox-staged')" ] || fail "files beside the installed program: $(ls "$prefix/bin")"

# The program as built, in a folder it was not built for: a copied folder or a build tree.
start "$prefix/bin/quillbox" copied
folders_in "$prefix/bin" || fail "no address book beside the executable"
[ ! -e "$tmp/copied/data/Quillbox" ] || fail "the data folder was made for a program outside its installed place"
echo "install: the data folder is used from the installed place only; validators pass"

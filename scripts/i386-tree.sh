# shellcheck shell=bash
# An emulated i386 Debian bookworm tree with 32-bit Wine, for machines whose kernel
# cannot start 32-bit programs. Source it; it defines functions, nothing more.
#
# The tree is entered through a private user and mount namespace that has its own
# binfmt_misc instance (Linux 6.7 and later): there 32-bit ELF programs go to
# qemu-i386, while the machine's own binfmt_misc stays as it is and 32-bit programs
# keep failing outside. qemu-i386 comes from trixie's qemu-user (qemu 10, statically
# linked): bookworm's 7.2 is many times slower with Wine and crashes now and then.
# It is fetched with a private apt configuration and unpacked, never installed.
#
# Everything lives in one folder, VESPRA_I386_DIR (default build/i386):
#   root/        the i386 tree
#   qemu/        the unpacked qemu-user package
#   apt/         the private apt configuration, lists and cache for it
#   binfmt/      where each namespace mounts its binfmt_misc instance
#   bin/         wine, wineserver, wineboot and winepath that run the tree's own
#   .ready       written last, when the tree runs 32-bit Wine

vespra_i386_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VESPRA_I386_DIR=${VESPRA_I386_DIR:-$vespra_i386_repo/build/i386}
vespra_i386_root="$VESPRA_I386_DIR/root"
vespra_i386_qemu="$VESPRA_I386_DIR/qemu/usr/bin/qemu-i386"
vespra_i386_mirror=http://deb.debian.org/debian

# The i386 ELF header and mask that binfmt_misc matches (executables and shared
# objects), in the register file's escaped form.
vespra_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
vespra_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# True when the emulated tree has been made and runs 32-bit Wine.
vespra_i386_ready() {
    [ -f "$VESPRA_I386_DIR/.ready" ] && [ -x "$vespra_i386_qemu" ]
}

# Starts "$@" (a program of this machine) in a new user and mount namespace in which
# every id maps to itself, so the tree's files keep their owners, and sets
# vespra_i386_pid to it. unshare's own mapping options need newuidmap; as root the
# parent writes the maps itself.
vespra_i386_unshare_start() {
    local sync pid
    sync=$(mktemp -d "${TMPDIR:-/tmp}/vespra-ns.XXXXXX") || return 1
    mkfifo "$sync/ready" "$sync/go" || { rm -rf "$sync"; return 1; }
    # shellcheck disable=SC2016
    unshare --user --mount --propagation private -- \
        bash -c 'echo >"$0/ready"; read -r _ <"$0/go"; rm -rf "$0"; exec "$@"' "$sync" "$@" &
    pid=$!
    # Opened read-write: a failed unshare must not leave us waiting for a writer.
    exec {vespra_ready_fd}<>"$sync/ready"
    if ! read -r -t 30 _ <&"$vespra_ready_fd"; then
        exec {vespra_ready_fd}<&-
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        rm -rf "$sync"
        return 1
    fi
    exec {vespra_ready_fd}<&-
    if ! { echo "0 0 4294967295" >"/proc/$pid/uid_map" &&
        echo "0 0 4294967295" >"/proc/$pid/gid_map"; } 2>/dev/null; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        rm -rf "$sync"
        return 1
    fi
    echo >"$sync/go"
    vespra_i386_pid=$pid
}

# Waits for the process $1 and returns its status; a signal to us goes on to it
# (timeout, ctest and Ctrl-C end us).
vespra_i386_wait() {
    local pid=$1 rc=0
    trap 'kill -TERM "$pid" 2>/dev/null' TERM INT
    wait "$pid" || rc=$?
    # wait returns early when a trapped signal arrives: wait for the real end.
    while kill -0 "$pid" 2>/dev/null; do wait "$pid" || rc=$?; done
    trap - TERM INT
    return "$rc"
}

# Runs "$@" in a new namespace as above and returns its status.
vespra_i386_unshare() {
    vespra_i386_unshare_start "$@" || return 1
    vespra_i386_wait "$vespra_i386_pid"
}

# True when this machine lets us open a user namespace with a binfmt_misc of its own.
vespra_i386_can_unshare() {
    local mnt rc=0
    command -v unshare >/dev/null || return 1
    mnt=$(mktemp -d "${TMPDIR:-/tmp}/vespra-binfmt.XXXXXX") || return 1
    vespra_i386_unshare sh -c 'mount -t binfmt_misc binfmt_misc "$1" && [ -e "$1/register" ]' \
        sh "$mnt" >/dev/null 2>&1 || rc=1
    rmdir "$mnt" 2>/dev/null
    return "$rc"
}

# The namespace the tree runs in is kept by one holder process (a sleep, its pid in
# ns.pid) and every command joins it. All processes of a Wine session must share one
# user namespace: Wine's server, root in its own namespace but not in a sibling one,
# could not read the memory of a program started from another, which Wine needs to
# list another process's modules (EnumProcessModules).

# The holder's part (this machine's bash, inside the new namespace): mounts this
# namespace's own binfmt_misc, hands i386 programs to qemu-i386, binds /proc, /dev,
# /sys and /tmp into the tree, then sleeps under a name that vespra_i386_holder knows.
vespra_i386_hold() {
    mkdir -p "$VESPRA_I386_DIR/binfmt"
    mount -t binfmt_misc binfmt_misc "$VESPRA_I386_DIR/binfmt" || return 1
    # F: qemu is opened now, so it need not exist inside the tree; P: argv[0] kept.
    printf ':qemu-i386:M::%s:%s:%s:FP' "$vespra_i386_magic" "$vespra_i386_mask" \
        "$vespra_i386_qemu" >"$VESPRA_I386_DIR/binfmt/register" || return 1
    local dir
    for dir in /proc /dev /sys /tmp; do
        mkdir -p "$vespra_i386_root$dir"
        mount --rbind "$dir" "$vespra_i386_root$dir" || return 1
    done
    # Nothing of the caller's stays open: not its lock, not the pipe a test reads.
    local fd
    for fd in /proc/$$/fd/*; do
        fd=${fd##*/}
        [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done
    exec -a vespra-i386-holder sleep infinity </dev/null >/dev/null 2>&1
}

# True when the pid $1 is a live holder.
vespra_i386_is_holder() {
    [ -n "$1" ] && [ "$(tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | head -n 1)" = vespra-i386-holder ]
}

# Sets vespra_i386_pid to the holder, starting one when there is none.
vespra_i386_holder() {
    local pidfile="$VESPRA_I386_DIR/ns.pid" lock pid
    mkdir -p "$VESPRA_I386_DIR"
    exec {lock}>"$VESPRA_I386_DIR/ns.lock"
    flock "$lock"
    pid=$(cat "$pidfile" 2>/dev/null)
    if ! vespra_i386_is_holder "$pid"; then
        # A session of its own and no descriptor of ours: it outlives this command
        # and keeps no pipe of a caller open.
        vespra_i386_unshare_start setsid bash -c '. "$0"; vespra_i386_hold' \
            "$vespra_i386_repo/scripts/i386-tree.sh" </dev/null >/dev/null 2>&1 || {
            exec {lock}>&-
            return 1
        }
        pid=$vespra_i386_pid
        for _ in $(seq 300); do
            vespra_i386_is_holder "$pid" && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        if ! vespra_i386_is_holder "$pid"; then
            exec {lock}>&-
            return 1
        fi
        echo "$pid" >"$pidfile"
    fi
    exec {lock}>&-
    vespra_i386_pid=$pid
}

# Ends the holder, if there is one; the namespace goes when its last process does.
vespra_i386_stop() {
    local pid
    pid=$(cat "$VESPRA_I386_DIR/ns.pid" 2>/dev/null)
    vespra_i386_is_holder "$pid" && kill "$pid" 2>/dev/null
    rm -f "$VESPRA_I386_DIR/ns.pid"
    return 0
}

# The part run inside the namespace (by this machine's bash): binds the folders named
# by --bind at their own paths, once, and runs the command in the tree from the
# current folder.
#   vespra_i386_inside [--bind DIR]... -- COMMAND ARGS...
vespra_i386_inside() {
    local binds=() dir wd=$PWD
    while [ $# -gt 0 ]; do
        case "$1" in
        --bind) binds+=("$2"); shift 2 ;;
        --) shift; break ;;
        *) break ;;
        esac
    done
    # Not recursive: the repository holds the tree itself.
    for dir in "${binds[@]}"; do
        [ -d "$dir" ] || continue
        mountpoint -q "$vespra_i386_root$dir" 2>/dev/null && continue
        mkdir -p "$vespra_i386_root$dir"
        mount --bind "$dir" "$vespra_i386_root$dir" || return 1
    done
    [ -d "$vespra_i386_root$wd" ] || wd=/
    exec unshare --root="$vespra_i386_root" --wd="$wd" -- \
        env -u LD_PRELOAD PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# Runs COMMAND in the tree: vespra_i386_run [--bind DIR]... -- COMMAND ARGS...
# /tmp (the X display's socket, Wine's server sockets and our prefixes), /proc, /dev
# and /sys are always bound in. Returns the command's exit status.
vespra_i386_run() {
    vespra_i386_holder || return 1
    # --wd: joining a mount namespace moves a process to its root.
    nsenter --target "$vespra_i386_pid" --user --mount --wd="$PWD" -- \
        bash -c '. "$0"; vespra_i386_inside "$@"' "$vespra_i386_repo/scripts/i386-tree.sh" "$@" &
    vespra_i386_wait $!
}

# apt-get with the private configuration under $VESPRA_I386_DIR/apt: its own sources
# list (trixie, for qemu-user), lists, cache and status, nothing of the machine's.
vespra_i386_apt() {
    local a="$VESPRA_I386_DIR/apt"
    apt-get -q -o Acquire::Retries=3 \
        -o Dir::Etc::SourceList="$a/sources.list" -o Dir::Etc::SourceParts="$a/sources.list.d" \
        -o Dir::Etc::Preferences="$a/preferences" -o Dir::Etc::PreferencesParts="$a/preferences.d" \
        -o Dir::State="$a/state" -o Dir::State::Lists="$a/lists" \
        -o Dir::State::status="$a/status" -o Dir::Cache="$a/cache" \
        -o APT::Architecture=amd64 -o APT::Architectures::=amd64 \
        -o APT::Sandbox::User=root -o Debug::NoLocking=1 "$@"
}

# Unpacks trixie's qemu-user into qemu/ (not installed: dpkg never hears of it).
vespra_i386_fetch_qemu() {
    [ -x "$vespra_i386_qemu" ] && return 0
    local a="$VESPRA_I386_DIR/apt" deb
    mkdir -p "$a/sources.list.d" "$a/preferences.d" "$a/state" "$a/lists/partial" \
        "$a/cache/archives/partial" "$a/debs"
    touch "$a/status"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $vespra_i386_mirror trixie main" \
        >"$a/sources.list"
    vespra_i386_apt update || return 1
    rm -f "$a/debs"/qemu-user_*.deb
    (cd "$a/debs" && vespra_i386_apt download qemu-user) || return 1
    deb=$(ls "$a/debs"/qemu-user_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || return 1
    # Of the package's emulators only qemu-i386 is kept (the rest is 440 MB).
    rm -rf "$VESPRA_I386_DIR/qemu" "$a/unpacked"
    dpkg-deb -x "$deb" "$a/unpacked" || return 1
    mkdir -p "$(dirname "$vespra_i386_qemu")"
    mv "$a/unpacked/usr/bin/qemu-i386" "$vespra_i386_qemu" || return 1
    rm -rf "$a/unpacked" "$a/debs" "$a/cache" "$a/lists"
    [ -x "$vespra_i386_qemu" ]
}

# The smallest i386 program, exit(0) through int 0x80, written to $1.
vespra_i386_write_probe() {
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$1" &&
        chmod +x "$1"
}

# Makes the tree, step by step; each step is skipped when its result is there, so a
# run cut short goes on where it stopped. Returns non-zero when 32-bit Wine does not
# run in the end.
vespra_i386_setup() {
    # The shims are written again each time: they name this checkout's wrapper.
    vespra_i386_ready && { vespra_i386_write_shims; return 0; }
    local root=$vespra_i386_root probe
    mkdir -p "$VESPRA_I386_DIR"
    command -v debootstrap >/dev/null || { echo "i386 tree: debootstrap is missing" >&2; return 1; }
    echo "i386 tree: fetching qemu-i386 (trixie's qemu-user)"
    vespra_i386_fetch_qemu || { echo "i386 tree: could not fetch qemu-user" >&2; return 1; }

    # The namespace really runs an i386 program through qemu: check by trying.
    probe="$VESPRA_I386_DIR/probe-i386"
    vespra_i386_write_probe "$probe"
    if ! vespra_i386_unshare bash -c '. "$0"; mkdir -p "$VESPRA_I386_DIR/binfmt" &&
        mount -t binfmt_misc binfmt_misc "$VESPRA_I386_DIR/binfmt" &&
        printf ":qemu-i386:M::%s:%s:%s:FP" "$vespra_i386_magic" "$vespra_i386_mask" \
            "$vespra_i386_qemu" >"$VESPRA_I386_DIR/binfmt/register" && "$1"' \
        "$vespra_i386_repo/scripts/i386-tree.sh" "$probe"; then
        echo "i386 tree: qemu-i386 does not run i386 programs in the namespace" >&2
        return 1
    fi

    if [ ! -f "$root/.first-stage" ]; then
        echo "i386 tree: debootstrap, first stage"
        rm -rf "$root"
        debootstrap --arch=i386 --foreign --variant=minbase bookworm "$root" "$vespra_i386_mirror" \
            >"$VESPRA_I386_DIR/debootstrap-1.log" 2>&1 || {
            tail -n 20 "$VESPRA_I386_DIR/debootstrap-1.log" >&2
            return 1
        }
        touch "$root/.first-stage"
    fi
    if [ ! -f "$root/.second-stage" ]; then
        echo "i386 tree: debootstrap, second stage (emulated)"
        # The first stage leaves /proc a symbolic link, which can't take a mount.
        [ -L "$root/proc" ] && rm -f "$root/proc"
        mkdir -p "$root/proc"
        # container=lxc: device nodes can't be made in a user namespace; /dev is bound.
        container=lxc vespra_i386_run -- /debootstrap/debootstrap --second-stage \
            >"$VESPRA_I386_DIR/debootstrap-2.log" 2>&1 || {
            tail -n 20 "$VESPRA_I386_DIR/debootstrap-2.log" >&2
            return 1
        }
        touch "$root/.second-stage"
    fi
    # The second stage unpacked the tree's own /proc, /dev, /sys and /tmp under the
    # binds of the holder it ran in: a holder made now binds them afresh. Without
    # this a one-shot set-up's Wine can't load its ntdll.so.
    vespra_i386_stop
    echo "i386 tree: installing wine, wine32, xvfb and xauth (emulated)"
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null
    echo "deb $vespra_i386_mirror bookworm main" >"$root/etc/apt/sources.list"
    # Daemons must not start inside the tree.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    vespra_i386_run -- env DEBIAN_FRONTEND=noninteractive apt-get -q -o Acquire::Retries=3 update \
        >"$VESPRA_I386_DIR/apt-install.log" 2>&1 &&
        vespra_i386_run -- env DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends \
            install wine wine32 xvfb xauth >>"$VESPRA_I386_DIR/apt-install.log" 2>&1 || {
        tail -n 20 "$VESPRA_I386_DIR/apt-install.log" >&2
        return 1
    }
    vespra_i386_run -- apt-get clean >/dev/null 2>&1
    vespra_i386_stop
    if ! vespra_i386_run -- /usr/lib/wine/wine --version; then
        echo "i386 tree: 32-bit Wine does not start in the tree" >&2
        return 1
    fi
    vespra_i386_write_shims
    touch "$VESPRA_I386_DIR/.ready"
    # Nothing of the set-up stays running; the first command starts a holder again.
    vespra_i386_stop
}

# bin/: wine, wineserver, wineboot and winepath that run the tree's own, for PATH, so
# the scripts and CTest's wrapper run the x86 tests unchanged.
vespra_i386_write_shims() {
    local tool
    mkdir -p "$VESPRA_I386_DIR/bin"
    for tool in wine wineserver wineboot winepath; do
        printf '#!/bin/sh\nexec bash "%s" --tool %s "$@"\n' \
            "$vespra_i386_repo/scripts/wine-i386.sh" "$tool" >"$VESPRA_I386_DIR/bin/$tool"
        chmod +x "$VESPRA_I386_DIR/bin/$tool"
    done
}

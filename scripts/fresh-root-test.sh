#!/usr/bin/env bash
# Proves the README's commands on a clean system: makes a fresh minimal root of a Debian release
# with debootstrap, installs in it only what the README asks for first (git and make), clones the
# repository into it and runs the README's test command, `make test`, there as its root user.
# Everything it mounts in the root is unmounted at the end, whatever happens, and the root is
# deleted only when nothing is mounted under it any more.
#
# Usage (as root): scripts/fresh-root-test.sh SUITE [REPOSITORY [REVISION]]
#   SUITE       a Debian release debootstrap knows: bookworm (12) or trixie (13)
#   REPOSITORY  the repository to clone (a path or a URL); default: the one this script is in
#   REVISION    what to check out; default: REPOSITORY's HEAD (for a path, its checked-out commit,
#               so that a branch in a work tree is tested as it is committed)
# Environment:
#   MIRROR           Debian archive; default http://deb.debian.org/debian
#   SECURITY_MIRROR  security archive; default MIRROR followed by -security
#   FRESH_ROOT_DIR   where the root is made; default /var/tmp
#   KEEP_ROOT=1      keep the root afterwards (still unmounted), to look around in it
set -euo pipefail

usage() {
    sed -n '8,17p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
[ $# -ge 1 ] && [ $# -le 3 ] || usage
suite=$1
here=$(cd "$(dirname "$0")/.." && pwd)
repository=${2:-$here}
revision=${3:-HEAD}
mirror=${MIRROR:-http://deb.debian.org/debian}
security_mirror=${SECURITY_MIRROR:-$mirror-security}

[ "$(id -u)" -eq 0 ] || { echo "fresh-root-test.sh: run it as root (debootstrap, chroot, mount)" >&2; exit 2; }
if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
fi
[ -e "/usr/share/debootstrap/scripts/$suite" ] ||
    { echo "fresh-root-test.sh: debootstrap does not know the release '$suite'" >&2; exit 2; }

# A local repository: the commit is resolved here, so that a work tree's HEAD is what is tested.
if [ -d "$repository" ]; then
    repository=$(cd "$repository" && pwd)
    commit=$(git -C "$repository" rev-parse --verify "$revision^{commit}")
else
    commit=$revision
fi

root=$(mktemp -d "${FRESH_ROOT_DIR:-/var/tmp}/fresh-root-$suite-XXXXXX")
chmod 755 "$root"  # the root directory of a system, which its other users (apt's _apt) traverse
mounted=()

# Mounts below the root, deepest first (findmnt escapes blanks, which mktemp's names have none of).
mounts_below_root() {
    findmnt -rn -o TARGET | awk -v root="$root" 'index($0, root "/") == 1 || $0 == root' |
        sort -r
}

cleanup() {
    local status=$? pid target
    set +e
    rm -f "$root.debootstrap.log"
    # Whatever still runs inside the root (an X server of a test, say) holds its mounts.
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "${pid#/proc/}" 2>/dev/null
    done
    sleep 1
    for ((m = ${#mounted[@]} - 1; m >= 0; m--)); do
        umount "${mounted[m]}" 2>/dev/null || umount --lazy "${mounted[m]}"
    done
    # Left over by an interrupted debootstrap, which mounts /proc and /sys in its target.
    for target in $(mounts_below_root); do
        umount "$target" 2>/dev/null || umount --lazy "$target"
    done
    if [ -n "$(mounts_below_root)" ]; then
        echo "fresh-root-test.sh: still mounted below $root, so it is not deleted:" >&2
        mounts_below_root >&2
        [ "$status" -ne 0 ] || status=1
    elif [ "${KEEP_ROOT:-0}" = 1 ]; then
        echo "root kept in $root"
    else
        rm -rf --one-file-system "$root"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in_root() {  # mount_in_root DIRECTORY MOUNT-ARGUMENTS...
    local target=$root/$1
    shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounted+=("$target")
}

# Certificate authorities the host's node is told to trust beside its own (NODE_EXTRA_CA_CERTS),
# as a network that reaches the npm registry through a proxy of its own needs: the root's npm is
# given the same, and nothing else of the host's.
extra_ca=()
if [ -n "${NODE_EXTRA_CA_CERTS:-}" ] && [ -r "$NODE_EXTRA_CA_CERTS" ]; then
    extra_ca=(NODE_EXTRA_CA_CERTS=/root/host-extra-ca.crt)
fi

in_root() {  # a command inside the root, with a clean environment
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${extra_ca[@]}" "$@"
}

started=$SECONDS
phase_started=$SECONDS
times=()
phase_done() {
    times+=("$(printf '%-28s %5d s' "$1" $((SECONDS - phase_started)))")
    phase_started=$SECONDS
}

echo "== debootstrap $suite (minbase) from $mirror into $root"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 30 "$root.debootstrap.log"; exit 1; }
phase_done debootstrap
[ ${#extra_ca[@]} -eq 0 ] || install -D -m 0644 "$NODE_EXTRA_CA_CERTS" "$root/root/host-extra-ca.crt"

# The sources of a Debian installation: the release, its updates and its security updates.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security_mirror $suite-security main
EOF
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# What a running system has: processes, devices' attributes, pseudo-terminals, shared memory.
mount_in_root proc -t proc proc
mount_in_root sys -t sysfs -o ro sysfs
mount_in_root dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts
mount_in_root dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs

echo "== git and make, as the README asks for first"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends git make ca-certificates >/dev/null
phase_done "git and make installed"

echo "== clone of $repository at $commit"
git clone -q --no-checkout "$repository" "$root/root/scalar-field-viewer"
in_root git -C /root/scalar-field-viewer checkout -q --detach "$commit"
in_root git -C /root/scalar-field-viewer log --oneline -1
phase_done clone

echo "== make test in $(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release")"
make_status=0
in_root bash -c 'cd /root/scalar-field-viewer && make test' || make_status=$?
phase_done "make test (with its installs)"

echo "== $suite: make test exited with $make_status"
printf '%s\n' "${times[@]}"
printf '%-28s %5d s\n' total $((SECONDS - started))
exit "$make_status"

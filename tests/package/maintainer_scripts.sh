#!/usr/bin/env bash
# The package's postinst and postrm as dpkg runs them, in a mount namespace of
# their own: /etc is an overlay whose changes vanish with the namespace and /opt
# an empty tmpfs, so the machine's groups and files stay untouched.
#   maintainer_scripts.sh PACKAGING_DIR   (as root)
set -euo pipefail
if [ "${1:-}" != --inside ]; then
    [ "$(id -u)" = 0 ] || { echo "SKIP: a mount namespace needs root"; exit 0; }
    before=$(cat /etc/group /etc/gshadow | md5sum)
    work=$(mktemp -d)
    trap 'rmdir "$work"' EXIT
    unshare --mount --propagation private bash "$0" --inside "$1" "$work"
    [ "$(cat /etc/group /etc/gshadow | md5sum)" = "$before" ] || { echo "FAIL: the machine's groups changed"; exit 1; }
    echo "maintainer scripts: checked"
    exit 0
fi
work=$3
mount -t tmpfs tmpfs "$work"
# Copied first: the source tree may lie under /opt.
cp "$2/postinst" "$2/postrm" "$work/"
mkdir "$work/upper" "$work/work"
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$work/upper,workdir=$work/work" /etc
mount -t tmpfs tmpfs /opt
dir=/opt/qzconsole cfg=/opt/qzconsole/qzp.cfg
fail() { echo "FAIL: $*"; exit 1; }
mode() { if [ -e "$1" ]; then stat -L -c '%a %U:%G' "$1"; else echo -; fi; }
# A machine with the package installed: start as one without it.
! getent group qzoperators >/dev/null || groupdel qzoperators

# qzp.cfg as found (mode owner:group; - none; link: an operator's symbolic link to a private file), postinst's
# arguments, what it must be (or name) after. The first row is the first install, the rest find the group.
while IFS='|' read -r found args want; do
    # What dpkg unpacks: the program directory as the archive has it.
    mkdir -p "$dir" && chown root:root "$dir" && chmod 0755 "$dir"
    rm -f "$cfg"
    owner=${found#* }
    case $found in
        -) ;;
        link) install -m 0600 /dev/null /etc/qz-secret && ln -s /etc/qz-secret "$cfg" ;;
        *) install -m "${found%% *}" -o "${owner%:*}" -g "${owner#*:}" /dev/null "$cfg" ;;
    esac
    sh "$work/postinst" $args || fail "postinst $args"
    gid=$(getent group qzoperators | cut -d: -f3) || fail "no group qzoperators after postinst $args"
    [ "$gid" -lt 1000 ] || fail "qzoperators is no system group (gid $gid)"
    [ "$(mode "$dir")" = "2775 root:qzoperators" ] || fail "$dir is $(mode "$dir") after postinst $args"
    [ "$(mode "$cfg")" = "$want" ] || fail "qzp.cfg '$found' is '$(mode "$cfg")' after postinst $args, not '$want'"
done <<'EOF'
-|configure|-
644 root:root|configure|660 root:qzoperators
664 root:qzoperators|configure 1.0.0|660 root:qzoperators
link|configure 1.0.0|600 root:root
644 nobody:nogroup|configure 1.0.0|660 root:qzoperators
EOF

# remove: dpkg deletes the package's files; qzp.cfg (so the directory) and the group stay. purge: all go.
sh "$work/postrm" remove || fail "postrm remove"
[ "$(mode "$cfg")" = "660 root:qzoperators" ] || fail "remove left qzp.cfg as '$(mode "$cfg")'"
getent group qzoperators >/dev/null || fail "remove dropped the group"
sh "$work/postrm" purge || fail "postrm purge"
[ ! -e "$dir" ] || fail "purge left $(ls -la "$dir")"
! getent group qzoperators >/dev/null || fail "purge kept the group"

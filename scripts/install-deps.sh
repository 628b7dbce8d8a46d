#!/usr/bin/env bash
# Installs the Debian packages the console, its tests and the demo need.
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins
    qt6-svg-dev libcurl4-openssl-dev libqt6sql6-sqlite libqt6sql6-psql postgresql-15
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    linphone-cli sip-tester kamailio
    pulseaudio pulseaudio-utils
    xvfb xauth xdotool trayer x11-utils openbox
    imagemagick libjpeg-turbo-progs sox fonts-dejavu-core fonts-urw-base35
    procps desktop-file-utils dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"

# kamailio is only a registrar for the tests, which start their own on loopback.
# Its service would take SIP port 5060 on every interface, the engine's port.
if [ -d /run/systemd/system ] && systemctl is-enabled --quiet kamailio 2>/dev/null; then
    $SUDO systemctl disable --now kamailio || true
fi

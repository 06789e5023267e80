#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs; quick when they are already there.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ clang pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 zlib1g-dev
  libcurl4-openssl-dev libssl-dev ca-certificates openssl
  libpng-dev libjpeg62-turbo-dev libgif-dev
  libicu-dev libxml2-dev media-types locales
  nlohmann-json3-dev
  rapidjson-dev libsqlitecpp-dev
  libclang-rt-14-dev tzdata
  libcairo2-dev libpango1.0-dev libfontconfig-dev libharfbuzz-dev libgtk-3-dev librsvg2-dev librsvg2-bin
  fonts-noto-cjk fonts-noto-core fonts-dejavu-core xvfb xauth libxtst-dev libasound2-dev python3-kiwisolver
  libwebkit2gtk-4.1-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # The installer's own output (hundreds of lines) goes to a log; one line says so, and a
  # failure shows the log's end.
  mkdir -p build
  log=build/deps.log
  echo "installing ${#missing[@]} Debian packages (${missing[*]:0:3}...); installer output in $log"
  export DEBIAN_FRONTEND=noninteractive
  if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "installing the packages failed (all of it in $log)" >&2
    exit 1
  fi
fi
# Formatting must not depend on the process locale; the tests prove it under a German locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null 2>&1
fi

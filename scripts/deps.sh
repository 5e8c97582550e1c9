#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-liberation2 fontconfig
  xvfb xauth
  # Word and Excel exports: LibreOffice Writer and Calc driven through UNO by a Python helper;
  # procps (pgrep) for the cleanup after the office integration tests.
  libreoffice-writer libreoffice-calc python3-uno procps
  # Printing for real in the grid's print test: a CUPS server with a PDF printer, and pdftotext
  # to read the printed pages back.
  cups printer-driver-cups-pdf poppler-utils
  # Fuzzing the readers (scripts/fuzz.sh, and briefly in ./test.sh): clang and its libFuzzer and
  # sanitizer runtimes.
  clang libclang-rt-14-dev
  # The Debian package: CPack's dependency line from dpkg-shlibdeps, and the checks of its
  # desktop entry and AppStream file, and lintian's review of the whole package.
  dpkg-dev file desktop-file-utils appstream lintian
  # bench/cpu_running.sh sends the clock's keys to the window on a virtual display.
  xdotool
  # The live results page: Qt's HTTP server and WebSockets; its browser test drives headless
  # Chromium with Selenium (Debian's Python, /usr/bin/python3, has the bindings).
  qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

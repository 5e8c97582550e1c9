#!/usr/bin/env bash
# Starts a local CUPS server when none runs and adds the printer "VidazorovPDF", which prints
# into PDF files in /var/spool/cups-pdf/vidazorov; the grid's print test prints through it.
# Idempotent. The machine's default printer is left as it is. Where this cannot be done (no
# root, packages missing, the server does not come up) it says why and exits 0: the test that
# needs the printer then skips.
set -uo pipefail

printer=VidazorovPDF
instance=vidazorov
out=/var/spool/cups-pdf/vidazorov

say() { echo "cups-pdf-printer: $*"; }

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    exec sudo -n "$0" "$@"
  fi
  say "not root; no PDF printer set up"
  exit 0
fi
for tool in /usr/sbin/cupsd /usr/sbin/lpadmin /usr/bin/lpstat /usr/lib/cups/backend/cups-pdf; do
  if [ ! -x "$tool" ]; then
    say "$tool missing (packages cups, printer-driver-cups-pdf); no PDF printer set up"
    exit 0
  fi
done

scheduler_up() { lpstat -r 2>/dev/null | grep -q "is running"; }

if ! scheduler_up; then
  # Started directly: service managers are not available in every container.
  /usr/sbin/cupsd || { say "cupsd did not start"; exit 0; }
  for _ in $(seq 1 100); do
    scheduler_up && break
    sleep 0.1
  done
  scheduler_up || { say "the CUPS scheduler did not come up"; exit 0; }
fi

# A cups-pdf instance of our own writes to a known folder without touching the default one.
conf=/etc/cups/cups-pdf-$instance.conf
if [ ! -f "$conf" ]; then
  cat >"$conf" <<EOF
Out $out
AnonDirName $out
Label 0
EOF
fi
mkdir -p "$out"
chmod 1777 "$out"
# Printed pages of earlier runs (not of a test running now) go.
find "$out" -name '*.pdf' -mmin +60 -delete 2>/dev/null || true

if ! lpstat -p "$printer" >/dev/null 2>&1; then
  ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  if ! lpadmin -p "$printer" -E -v "cups-pdf:/$instance" -P "$ppd" -D "Vidazorov test PDF printer"; then
    say "lpadmin could not add $printer"
    exit 0
  fi
fi
cupsenable "$printer" 2>/dev/null || true
cupsaccept "$printer" 2>/dev/null || true
say "$printer ready, PDFs in $out"

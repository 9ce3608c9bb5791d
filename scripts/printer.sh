#!/usr/bin/env bash
# Keeps a CUPS PDF queue ready for the tests, so that printing a waybill can be
# tested without paper: every job becomes a PDF file in $OUT. The tests choose the
# queue by the PRINTER environment variable; the machine's default printer and its
# other queues stay as they are. Safe to run again; it only changes what is not
# already in place. A second PDF queue, never the default, shows that a printer
# chosen in the print settings gets the job. Needs root (or sudo).
set -euo pipefail
export LC_ALL=C # the lpstat texts below are matched in English

QUEUE=Quillbox-PDF
SECOND=Quillbox-PDF2
OUT=/var/spool/cups-pdf/quillbox
PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
CONF=/etc/cups/cups-pdf.conf

if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi

# Sets one key of the cups-pdf configuration, which cups-pdf reads for every job.
set_conf() {
    if ! grep -qx "$1 $2" "$CONF"; then
        if grep -q "^$1 " "$CONF"; then
            sed -i "s|^$1 .*|$1 $2|" "$CONF"
        else
            echo "$1 $2" >>"$CONF"
        fi
    fi
}
mkdir -p "$OUT"
set_conf Out "$OUT"
# Every file named after its job, "<title>-job_<number>.pdf", so a test finds its own.
set_conf Label 2

# lpstat -r succeeds either way; only its text tells.
running() { [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ]; }

# Containers have no service manager: start the scheduler directly.
if ! running; then
    /usr/sbin/cupsd
    for _ in $(seq 1 100); do
        running && break
        sleep 0.1
    done
    running || { echo "printer.sh: cupsd did not start" >&2; exit 1; }
fi

for q in "$QUEUE" "$SECOND"; do
    if ! lpstat -v "$q" >/dev/null 2>&1; then
        lpadmin -p "$q" -v cups-pdf:/ -E -P "$PPD"
    fi
    # A queue left stopped or rejecting by an earlier run takes jobs again.
    cupsenable "$q"
    cupsaccept "$q"
done
echo "printer.sh: test printers $QUEUE and $SECOND, output in $OUT"

#!/usr/bin/env bash
# Installs what Velkoria needs, builds what it runs (the program, its manual
# and the marketplace simulator) and starts it from build/program/, with the
# simulator on loopback standing in for the site.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what runs: the tests and benchmarks are ./test.sh's business.
cmake --build build -j"$(nproc)" --target velkoria velkoria_program_data velkoria_manual_pdf market-sim
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: 画面がありません (no display: run it in a desktop session, or set DISPLAY)." >&2
    exit 2
fi

program=build/program
ini=$program/velkoria.ini
# The first line of the velkoria.ini that run.sh writes. An ini without it is
# the user's own (for instance pointing at the real site) and is left alone.
marker="; run.sh demo settings: rewritten by every ./run.sh while this line stays"
if [ -e "$ini" ] && [ "$(head -n 1 "$ini")" != "$marker" ]; then
    echo "run.sh: $ini はお使いの設定なので書き換えません。シミュレーターなしで起動します。"
    echo "run.sh: $ini is your own: kept, and the program starts with it (no simulator)."
    exec "$program/velkoria"
fi

# The simulator prints "READY http=PORT https=PORT spki=HASH" when it listens.
coproc SIM { exec build/market-sim --http-port 0 --https-port 0 --categories data/category.txt \
    --add-every 120; }
read -r -t 20 ready <&"${SIM[0]}" || { echo "run.sh: the marketplace simulator did not start" >&2; exit 1; }
http=$(sed -n 's/.*http=\([0-9]*\).*/\1/p' <<<"$ready")
https=$(sed -n 's/.*https=\([0-9]*\).*/\1/p' <<<"$ready")
spki=$(sed -n 's/.*spki=\([^ ]*\).*/\1/p' <<<"$ready")
args="--ignore-certificate-errors-spki-list=$spki"
[ "$(id -u)" -ne 0 ] || args="$args --no-sandbox --test-type"
# Written whole to a temporary file and renamed: never a half-written ini.
cat > "$ini.tmp" <<INI
$marker
; (delete that line to keep this file as it is; remove the file to go back to the simulator)
[marketplace]
search_url=http://127.0.0.1:$http/
login_url=https://127.0.0.1:$https/
[browser]
executable=
arguments=$args
load_timeout_seconds=60
INI
mv -f "$ini.tmp" "$ini"
echo "run.sh: simulator on http://127.0.0.1:$http/ and https://127.0.0.1:$https/ (account demo@zandorp.example / demo-pass)"
rc=0
"$program/velkoria" || rc=$?
echo quit >&"${SIM[1]}" || true
exit $rc

#!/usr/bin/env bash
# Installs what Velkoria needs, builds it and starts it from build/program/,
# with the marketplace simulator on loopback standing in for the site.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: 画面がありません (no display: run it in a desktop session, or set DISPLAY)." >&2
    exit 2
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
cat > build/program/velkoria.ini <<INI
[marketplace]
search_url=http://127.0.0.1:$http/
login_url=https://127.0.0.1:$https/
[browser]
executable=
arguments=$args
load_timeout_seconds=60
INI
echo "run.sh: simulator on http://127.0.0.1:$http/ and https://127.0.0.1:$https/ (account demo@zandorp.example / demo-pass)"
rc=0
build/program/velkoria || rc=$?
echo quit >&"${SIM[1]}" || true
exit $rc

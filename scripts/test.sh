#!/usr/bin/env bash
# Builds everything and runs every test through CTest, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
jobs=$(nproc)
code=0
QT_QPA_PLATFORM=offscreen SDL_VIDEODRIVER=offscreen ctest -j"$jobs" --output-on-failure --timeout 900 || code=$?
# A green suite may have left rows out (an ordinary user cannot mount the
# small disks of the full-disk rows): how many, and why, from the tests' own
# words in CTest's log. The count never changes the result.
python3 - Testing/Temporary/LastTest.log <<'EOF' || true
import re, sys
mounts = root = 0
other = []  # the other reasons, in the order met
lines = open(sys.argv[1], errors="replace").read().splitlines()
for i, line in enumerate(lines):
    if line.startswith("SKIP "):  # QtTest: "SKIP   : Class::function(row) reason"
        text = re.sub(r"^\S+ +: \S*?\(.*?\) ", "", line, count=1)
    elif line.endswith(": Skipped") and i + 1 < len(lines):  # Google Test: the reason follows
        text = lines[i + 1]
    else:
        continue
    if "mount" in text:
        mounts += 1
    elif "root" in text:
        root += 1
    else:
        other.append(text)
parts = ["%d need a small disk mounted (root only)" % mounts, "%d need root" % root]
if other:
    kinds = list(dict.fromkeys(t[:70] for t in other))
    parts.append("%d other: %s" % (len(other), "; ".join(kinds[:3]) + ("; ..." if len(kinds) > 3 else "")))
print("Rows skipped: %d (%s)" % (mounts + root + len(other), ", ".join(parts)))
EOF
exit $code

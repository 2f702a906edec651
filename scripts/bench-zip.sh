#!/bin/sh
# Reading a 20 MB entry from a ZIP archive, side by side with its peers in one
# run: the deflated entry against `unzip -p`, the stored one against `unzip -p`
# and `cat`. Prints the best wall time of several runs, the instruction counts
# under callgrind, and the ratios (reader / peer; above 1 means faster for
# throughput, below 1 means fewer instructions).
#   needs: zip, unzip, valgrind, python3; builds zip_bench in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_ZIP_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-zip-bench}
export QUILLO_ZIP_BENCH_DIR="$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target zip_bench -j2 >/dev/null
BENCH="$BUILD/bench/zip_bench"

# 20 MB of book-like text (seeded word salad, so it deflates about as well as
# prose), as one entry deflated and one stored.
mkdir -p "$DIR"
if [ ! -f "$DIR/deflated.zip" ] || [ ! -f "$DIR/stored.zip" ]; then
  python3 - "$DIR/book.txt" <<'EOF'
import random, sys
random.seed(5)
words = ("the of and a to in is you that it he was for on are as with his they I at be this have from "
         "or one had by word but not what all were we when your can said there use an each which she do "
         "how their if will up other about out many then them these so some her would make like him into "
         "time has look two more write go see number no way could people my than first water been call "
         "who oil its now find long down day did get come made may part lighthouse keeper harbour tide").split()
out, size = [], 0
while size < 20 * 1024 * 1024:
    line = " ".join(random.choice(words) for _ in range(random.randint(6, 14)))
    line = line[0].upper() + line[1:] + ".\r\n"
    out.append(line)
    size += len(line)
open(sys.argv[1], "w").write("".join(out)[: 20 * 1024 * 1024])
EOF
  rm -f "$DIR/deflated.zip" "$DIR/stored.zip"
  (cd "$DIR" && zip -q -6 deflated.zip book.txt && zip -q -0 stored.zip book.txt)
fi
ls -l "$DIR"/*.zip

python3 - "$BENCH" "$DIR" <<'EOF'
import json, os, re, subprocess, sys, time
bench, d = sys.argv[1], sys.argv[2]
size = os.path.getsize(os.path.join(d, "book.txt"))
devnull = open(os.devnull, "wb")

def best(cmd, runs):
    t = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, stdout=devnull, check=True)
        t.append(time.perf_counter() - start)
    return min(t)

def instructions(cmd):
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cmd,
                       stdout=devnull, stderr=subprocess.PIPE, text=True, check=True)
    return int(re.search(r"Collected : (\d+)", r.stderr).group(1))

# In-process figures: the entry read again and again into a reused buffer.
r = subprocess.run([bench, "--benchmark_format=json", "--benchmark_min_time=1"],
                   stdout=subprocess.PIPE, text=True, check=True)
steady = {b["name"]: b["bytes_per_second"] / 1e6 for b in json.loads(r.stdout)["benchmarks"]}

cases = [
    ("deflated", "BM_ReadDeflatedEntry", d + "/deflated.zip", "unzip -p", ["unzip", "-p", d + "/deflated.zip"]),
    ("stored", "BM_ReadStoredEntry", d + "/stored.zip", "unzip -p", ["unzip", "-p", d + "/stored.zip"]),
    ("stored", "BM_ReadStoredEntry", d + "/stored.zip", "cat", ["cat", d + "/stored.zip"]),
]
print("Whole process, best of 9: the 20 MB entry read into a fresh buffer of its size + 1")
print("(so the reader's run includes the first touch of that buffer; the peers reuse theirs).")
print("In-process: Google Benchmark, the same entry into a reused buffer.")
print("Ir: instructions under callgrind (cat copies inside the kernel: its Ir is not comparable).")
print()
print("entry    peer      | reader MB/s  in-process  peer MB/s  ratio  in-proc ratio | reader Ir      peer Ir   Ir ratio")
for name, bm, archive, peer_name, peer in cases:
    ours = [bench, "--once", archive, "0"]
    # Alternate the two so that both see the same machine load.
    ta, tb = [], []
    for _ in range(3):
        ta.append(best(ours, 3))
        tb.append(best(peer, 3))
    a, b = min(ta), min(tb)
    ia, ib = instructions(ours), instructions(peer)
    mb = size / 1e6
    print(f"{name:8} {peer_name:9} | {mb / a:11.0f} {steady[bm]:11.0f} {mb / b:10.0f} {b / a:6.2f} "
          f"{steady[bm] / (mb / b):14.2f} | {ia:13,d} {ib:12,d} {ia / ib:8.2f}")
EOF

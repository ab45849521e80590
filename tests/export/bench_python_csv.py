# The Python side of bench_export: reads the export's CSV into rows of typed values
# (untimed), then times Python's csv module writing the same rows, formatted as the export
# formats them ("%d", "%g", "%.1f", "%.2f", text in double quotes), and prints the best
# time in seconds and whether the bytes equal the export's.
import csv
import sys
import time

source, target, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(source, newline="", encoding="utf-8") as f:
    lines = f.read().split("\r\n")
header = lines[0].split(",")
# Per column, how the export writes it: the event columns by name, the trial-parameter
# columns ("%d" or "%g") by whether any row holds a fraction or an exponent.
FORMATS = {"FigOnTime": "%.1f", "SpikeTime": "%.1f", "FPTime": "%.1f", "KeyTime": "%.1f", "FPX": "%.2f",
           "FPY": "%.2f"}
split = [next(csv.reader([line])) for line in lines[1:] if line]
kinds = []
for k, name in enumerate(header):
    if name.endswith("$"):
        kinds.append("text")
    elif name in FORMATS:
        kinds.append(FORMATS[name])
    elif any(not row[k].lstrip("-").isdigit() for row in split):
        kinds.append("%g")
    else:
        kinds.append("int")
rows = []
for cells in split:
    row = []
    for kind, cell in zip(kinds, cells):
        row.append(cell if kind == "text" else int(cell) if kind == "int" else float(cell))
    rows.append(row)

def formatted(row):
    out = []
    for kind, value in zip(kinds, row):
        if kind == "text":
            out.append('"' + value.replace('"', '""') + '"')
        elif kind == "int":
            out.append("%d" % value)
        else:
            out.append(kind % value)
    return out

best = None
for _ in range(reps):
    start = time.perf_counter()
    with open(target, "w", newline="", encoding="utf-8") as f:
        # The quotes are part of the formatted text cells, as the export writes them.
        writer = csv.writer(f, quoting=csv.QUOTE_NONE, quotechar="'", escapechar="\\", lineterminator="\r\n")
        f.write(",".join(header) + "\r\n")
        writer.writerows(formatted(row) for row in rows)
    seconds = time.perf_counter() - start
    best = seconds if best is None else min(best, seconds)
with open(source, "rb") as a, open(target, "rb") as b:
    same = "equal" if a.read() == b.read() else "DIFFER"
print("%.6f %s" % (best, same))

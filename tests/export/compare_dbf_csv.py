# Reads a dBASE III table with dbfread and the CSV export of the same trials with the csv
# module and checks that they hold the same rows: same column names (the CSV's "$" marks
# a text column, which must be a C field), same count, same values.
import csv
import sys

import dbfread

dbf_path, csv_path = sys.argv[1], sys.argv[2]
table = dbfread.DBF(dbf_path, load=True, char_decode_errors="strict")
with open(csv_path, newline="") as f:
    rows = list(csv.reader(f))
header, rows = rows[0], rows[1:]
names = [h.rstrip("$") for h in header]
fields = {f.name: f for f in table.fields}
if [f.name for f in table.fields] != names:
    sys.exit("field names %s, csv header %s" % ([f.name for f in table.fields], names))
for h in header:
    if (fields[h.rstrip("$")].type == "C") != h.endswith("$"):
        sys.exit("type of %s" % h)
if len(table.records) != len(rows):
    sys.exit("%d records, %d csv rows" % (len(table.records), len(rows)))
for n, (record, row) in enumerate(zip(table.records, rows)):
    for name, text in zip(names, row):
        value = record[name]
        if fields[name].type == "C":
            if value != text:
                sys.exit("row %d %s: %r vs %r" % (n, name, value, text))
        elif abs(float(value) - float(text)) > 1e-9:
            sys.exit("row %d %s: %r vs %r" % (n, name, value, text))
print("%d rows agree" % len(rows))

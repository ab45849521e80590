#!/bin/sh
# Checks the include layering of the source tree.
#
#   scripts/check_layers.sh [ROOT]
#
# ROOT defaults to the repository this script lives in. Every violation is printed as
# "path:line: message" (sorted by path and line) and the script exits 1; a clean tree
# gives one summary line and exit 0; it exits 2 if the tree or the Qt headers are
# missing. Set ORVIX_QT_HEADERS to use another Qt 6 include root.
#
# The rule: a file may include headers of its own area and of areas of lower rank only;
# two different areas of the same rank may not include each other. An area whose "may
# include" column is a list instead of a rank is a separate deliverable that may include
# exactly the areas listed, and no ranked area may include it. The Qt column is the highest
# Qt module whose headers the area may include: Core (neither QtGui nor QtWidgets),
# Gui (QtGui but not QtWidgets) or Widgets (anything). The rooms of platform/ are areas of
# their own, ranked below every other: each service may use only the rooms below it, and the
# program above sees them as one floor. A source file, or an include of the tree, that lies in
# no area is reported too.
#
# An entry ending in "/" is a folder with everything below it; any other entry is a single
# file and wins over its folder. An include in double quotes names its area by its path
# from the root (a path relative to the including file if it starts with ./ or ../); one
# whose first component is no area folder (a generated header such as "taskgrammar.hpp")
# belongs to the including file's own area. Angle-bracket includes are only checked
# against the Qt column. Checked: *.h *.hpp *.cpp *.c *.l *.y under the folders below;
# tests/, scripts/, examples/, docs/ and build folders are not.
LAYERS='
# area             may include             Qt       files
# platform/, a room per service: the rest of the program sees it as one floor below model
platform/text      0                       Core     platform/text/
platform/runtime   0                       Core     platform/runtime/
platform/files     1                       Core     platform/files/
platform/settings  2                       Core     platform/settings/
platform/net       2                       Core     platform/net/
platform/odbc      2                       Core     platform/odbc/
platform/ui        2                       Core     platform/ui/
platform/kernel    2                       Core     platform/kernel/
platform/devices   3                       Core     platform/devices/
platform/renderer  3                       Core     platform/renderer/
platform/nidaq     3                       Core     platform/nidaq/
model              4                       Core     model/
table              4                       Core     analysis/tablemodel.h analysis/tablemodel.cpp
tasklang           5                       Core     tasklang/
io                 6                       Core     io/
document           7                       Core     document/
runner             8                       Gui      runner/
dialogs            9                       Widgets  model/fieldtext.h model/fieldtext.cpp model/inputstringdlg.h model/inputstringdlg.cpp document/datapathdlg.h document/datapathdlg.cpp tasklang/transformdlg.h tasklang/transformdlg.cpp
analysis           10                      Widgets  analysis/
export             10                      Widgets  export/
panel              11                      Widgets  panel/
views              11                      Widgets  views/
app                12                      Widgets  app/
stats              stats,table             Core     stats/
driver             driver,platform/kernel  Core     driver/
'

set -e
here=$(cd "$(dirname "$0")" && pwd)
ROOT=${1:-$here/..}
ROOT=$(cd "$ROOT" && pwd) || { echo "check_layers: no such folder: $1" >&2; exit 2; }

# The Qt 6 include root: the class headers listed in QtGui/ and QtWidgets/ decide which
# <QFoo> is a GUI or a Widgets header.
qt_ok() { [ -n "$1" ] && [ -d "$1/QtGui" ] && [ -d "$1/QtWidgets" ]; }
if [ -n "${ORVIX_QT_HEADERS:-}" ]; then
    QT=$ORVIX_QT_HEADERS
else
    QT=
    for q in "$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || :)" \
             "$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || :)" \
             /usr/include/qt6 /usr/include/*/qt6; do
        if qt_ok "$q"; then QT=$q; break; fi
    done
fi
if ! qt_ok "$QT"; then
    echo "check_layers: cannot find the Qt 6 headers (QtGui/ and QtWidgets/) ${QT:+in $QT }- install qt6-base-dev or set ORVIX_QT_HEADERS" >&2
    exit 2
fi
QT_GUI_NAMES=$(ls "$QT/QtGui")
QT_WIDGETS_NAMES=$(ls "$QT/QtWidgets")
if [ -z "$QT_GUI_NAMES" ] || [ -z "$QT_WIDGETS_NAMES" ]; then
    echo "check_layers: the Qt headers in $QT are empty" >&2
    exit 2
fi
export LAYERS QT_GUI_NAMES QT_WIDGETS_NAMES

cd "$ROOT"
# The area folders that exist (export/ may not yet).
dirs=$(printf '%s\n' "$LAYERS" | awk '!/^#/ && NF >= 4 { for (i = 4; i <= NF; i++) {
    split($i, c, "/"); print c[1] } }' | sort -u | while read -r d; do
    if [ -d "$d" ]; then echo "$d"; fi; done)
if [ -z "$dirs" ]; then
    echo "check_layers: no area folder found under $ROOT" >&2
    exit 2
fi

sources() {
    # shellcheck disable=SC2086
    find $dirs -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \
        -o -name '*.l' -o -name '*.y' \) "$@"
}
nfiles=$(sources | wc -l)

# shellcheck disable=SC2016
out=$(sources -exec awk '
function area_of(p,    f, best) {
    if (p in file) return file[p]
    best = ""
    for (f in folder)
        if (substr(p, 1, length(f)) == f && length(f) > length(best)) best = f
    return best == "" ? "" : folder[best]
}
# "a/./b/../c.h" -> "a/c.h"
function normalize(p,    n, c, out, k, i) {
    n = split(p, c, "/"); k = 0
    for (i = 1; i <= n; i++) {
        if (c[i] == "." || c[i] == "") continue
        if (c[i] == ".." && k > 0 && out[k] != "..") { k--; continue }
        out[++k] = c[i]
    }
    p = ""
    for (i = 1; i <= k; i++) p = p (i > 1 ? "/" : "") out[i]
    return p
}
function describe(a) {
    return (a in rank) ? a ", rank " rank[a] : a ", a separate deliverable"
}
BEGIN {
    n = split(ENVIRON["LAYERS"], line, "\n")
    for (i = 1; i <= n; i++) {
        if (line[i] ~ /^[ \t]*(#|$)/) continue
        m = split(line[i], f, /[ \t]+/)
        if (f[1] == "") { for (j = 1; j < m; j++) f[j] = f[j + 1]; m-- }
        a = f[1]
        if (f[2] ~ /^[0-9]+$/) rank[a] = f[2] + 0
        else allow[a] = f[2]
        qt[a] = f[3]
        for (j = 4; j <= m; j++) {
            if (f[j] ~ /\/$/) folder[f[j]] = a; else file[f[j]] = a
            split(f[j], c, "/"); known[c[1]] = 1
        }
    }
    n = split(ENVIRON["QT_GUI_NAMES"], h, "\n")
    for (i = 1; i <= n; i++) gui[h[i]] = 1
    n = split(ENVIRON["QT_WIDGETS_NAMES"], h, "\n")
    for (i = 1; i <= n; i++) if (!(h[i] in gui)) widgets[h[i]] = 1
}
FNR == 1 {
    me = area_of(FILENAME)
    dir = FILENAME; sub(/[^\/]*$/, "", dir)
    # A file outside every area of the table would escape the check (a file dropped
    # directly into platform/, say).
    if (me == "") print FILENAME ":1: lies in no area of the layer table"
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
    inc = $0; sub(/^[ \t]*#[ \t]*include[ \t]*"/, "", inc)
    if (!sub(/".*/, "", inc)) next
    p = inc
    if (p ~ /^\.\.?\//) p = normalize(dir p)
    split(p, c, "/")
    if (!(c[1] in known)) next
    it = area_of(p)
    if (it == "") {
        print FILENAME ":" FNR ": " me " includes " inc ", which lies in no area of the layer table"
        next
    }
    if (it == me) next
    if (me in allow) {
        if (index("," allow[me] ",", "," it ","))  next
        msg = "(" it "; " me " may include only " allow[me] ")"
        gsub(/,/, ", ", msg)
    } else {
        if ((it in rank) && rank[it] < rank[me]) next
        msg = "(" describe(it) ")"
    }
    print FILENAME ":" FNR ": " me " includes " inc " " msg
    next
}
/^[ \t]*#[ \t]*include[ \t]*</ {
    inc = $0; sub(/^[ \t]*#[ \t]*include[ \t]*</, "", inc)
    if (!sub(/>.*/, "", inc)) next
    if (inc ~ /^QtWidgets(\/|$)/ || (inc in widgets)) kind = "Widgets"
    else if (inc ~ /^QtGui(\/|$)/ || (inc in gui)) kind = "Gui"
    else next
    if (qt[me] == "Widgets" || (qt[me] == "Gui" && kind == "Gui")) next
    print FILENAME ":" FNR ": " me " includes <" inc "> (Qt " (kind == "Gui" ? "GUI" : kind) ")"
}
' {} +)

if [ -n "$out" ]; then
    printf '%s\n' "$out" | LC_ALL=C sort -t: -k1,1 -k2,2n
    count=$(printf '%s\n' "$out" | wc -l)
    echo "check_layers: $count layering violations" >&2
    exit 1
fi
echo "check_layers: $nfiles files follow the layering"

#!/usr/bin/env bash
# Rewrites the compound documents of the tag samples (tests/fixtures/tags/memo.doc,
# budget.xls) with 4096-byte sectors, the way large Office files are stored, through
# libgsf's own writer: tests/fixtures/tags/memo-4k-sectors.doc, budget-4k-sectors.xls.
# LibreOffice only writes 512-byte sectors. Each result is read back with olefile (an
# independent reader) and must keep its sector size, streams and title.
# Needs (not in install-deps.sh, only this script uses them): gir1.2-gsf-1, python3-gi,
# python3-olefile.
set -euo pipefail
cd "$(dirname "$0")/.."

for pair in memo.doc:memo-4k-sectors.doc budget.xls:budget-4k-sectors.xls; do
  /usr/bin/python3 - "tests/fixtures/tags/${pair%%:*}" "tests/fixtures/tags/${pair##*:}" <<'PY'
import sys
import gi
gi.require_version('Gsf', '1')
from gi.repository import Gsf
import olefile

source, target = sys.argv[1:]

def copy(into, folder):
    for i in range(folder.num_children()):
        child = folder.child_by_index(i)
        if isinstance(child, Gsf.Infile) and child.num_children() > 0:
            sub = into.new_child(folder.name_by_index(i), True)
            copy(sub, child)
            sub.close()
        else:
            stream = into.new_child(folder.name_by_index(i), False)
            if child.size:
                stream.write(child.read(child.size))
            stream.close()

ole = Gsf.OutfileMSOle.new_full(Gsf.OutputStdio.new(target), 4096, 64)
copy(ole, Gsf.InfileMSOle.new(Gsf.InputStdio.new(source)))
ole.close()

before, after = olefile.OleFileIO(source), olefile.OleFileIO(target)
assert after.sectorsize == 4096, after.sectorsize
assert sorted(before.listdir()) == sorted(after.listdir())
assert before.get_metadata().title == after.get_metadata().title
PY
done

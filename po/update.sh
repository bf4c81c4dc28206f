#!/usr/bin/env bash
# Gathers the program's texts into po/vemo-recorder.pot and merges them into
# each language's catalogue; new texts come in untranslated (English is
# shown for them until they are translated).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
xgettext --from-code=UTF-8 --language=C++ -k_ -kN_ -kTr -kTrW -kTrFormat --package-name=vemo-recorder \
    --no-location --sort-output -o po/vemo-recorder.pot $(git ls-files 'src/*.cpp' 'src/*.h')
for po in po/*.po; do
    msgmerge --quiet --update --backup=none --no-location --sort-output "$po" po/vemo-recorder.pot
done

#!/bin/sh
# Builds tests/data/rtf/pandoc-list.rtf: a bulleted and a numbered list as
# pandoc writes them (\bullet and a tab before each item). Run once from
# anywhere; the output is committed.
#   needs: pandoc (apt-get install pandoc)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
printf -- '- first item\n- second item\n\n1. numbered item\n' |
  pandoc -s -f markdown -t rtf -o "$ROOT/tests/data/rtf/pandoc-list.rtf"

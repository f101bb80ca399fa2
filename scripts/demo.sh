#!/usr/bin/env bash
# The main job: sets up, builds the command-line tool `vantrel`, makes the
# bundled sample (an RGB chart, the same with transparency, a CMYK TIFF, and
# each of them at 16 bits), filters it with a few channel orders and blends
# into out/, makes a contact sheet of every order of the RGB and the CMYK
# chart, and prints what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh tool
cmake --preset release >/dev/null
cmake --build --preset release --target vantrel_cli vantrel_sample

bin=build/release/bin
rm -rf out
mkdir -p out/sample
echo
echo "== the sample"
"$bin/vantrel_sample" out/sample

echo
echo "== filtering into out/"
run() { "$bin/vantrel" --quiet "$@"; }
run out/sample/chart.png -o out/chart_BRG.png --order "B R G"
run out/sample/chart.png -o out/chart_GBR_mix.png --order "G B R" --blend mix
run out/sample/chart.png -o out/chart_BGR_cross.png --order "B G R" --blend cross
run out/sample/chart_alpha.png -o out/chart_alpha_BRG_no_green.png --order "B R G" --exclude 2
run out/sample/chart_cmyk.tif -o out/chart_cmyk_KCMY.tif --order "K C M Y"
run out/sample/chart_cmyk.tif -o out/chart_cmyk_CMKY_mix_no_black.tif --order "C M K Y" --blend mix --exclude 4
# 16 bits per sample, kept on the way out unless --depth says otherwise.
run out/sample/chart16.tif -o out/chart16_BRG.tif --order "B R G"
run out/sample/chart16_cmyk.tif -o out/chart16_cmyk_KCMY_8bit.tif --order "K C M Y" --depth 8
# A batch: every sample file by two worker processes.
run out/sample/chart.png out/sample/chart_alpha.png out/sample/chart_cmyk.tif -o out/batch_index5 --order-index 5 -j 2

echo
echo "== contact sheets: every channel order at a glance"
run --contact-sheet out/chart_sheet.png out/sample/chart.png
run --contact-sheet out/chart_cmyk_sheet.png out/sample/chart_cmyk.tif

echo
echo "Wrote:"
find out -path out/sample -prune -o -type f -print | sort | while read -r f; do
  printf '  %-44s %s\n' "$f" "$(vipsheader "$f" | sed 's/^[^:]*: //')"
done
echo
echo "Look at out/chart_sheet.png and out/chart_cmyk_sheet.png: each order of the chart, labelled with"
echo "its index and name, to pick one for --order-index or --order."
echo "More: $bin/vantrel --help"

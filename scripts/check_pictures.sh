#!/usr/bin/env bash
# Writes the sample chart in every picture format and converts each file to
# PNG with readers a user might have, to look at by eye:
#   <folder>/plot.*                 the written pictures
#   <folder>/libreoffice/plot.*.png LibreOffice (reads BMP, PNG, SVG, EMF, WMF)
#   <folder>/imagemagick/*.png      ImageMagick (reads WMF through libwmf when
#                                   libmagickcore-6.q16-6-extra is installed)
#   <folder>/readers/*.read.png     what the tests read (Qt, Qt SVG, pdftoppm,
#                                   emf2svg-conv + Qt SVG, wmf2gd)
# LibreOffice and ImageMagick are not needed by the build or the tests; a
# reader that is not installed is skipped. Usage: scripts/check_pictures.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "${1:-build/pictures}")
test_binary=build/ci/tests/gui/plot/kvo_gui_plot_test
[ -x "$test_binary" ] || { echo "build first: cmake --preset ci && cmake --build --preset ci" >&2; exit 1; }

rm -rf "$folder"
mkdir -p "$folder/libreoffice" "$folder/imagemagick" "$folder/readers"
KVO_KEEP_PICTURES="$folder" QT_QPA_PLATFORM=offscreen "$test_binary" \
  --gtest_filter='Formats/PictureExport.WritesAPictureThatAReaderOpens/*' >/dev/null
ls -l "$folder"/plot.*

soffice=$(command -v soffice || command -v libreoffice || true)
if [ -n "$soffice" ]; then
  for file in "$folder"/plot.{bmp,emf,wmf,svg}; do
    ext=${file##*.}
    work=$(mktemp -d)
    "$soffice" --headless -env:UserInstallation=file://"$work"/profile \
      --convert-to png --outdir "$work" "$file" >/dev/null 2>&1 || echo "LibreOffice could not read $file"
    [ -f "$work/plot.png" ] && mv "$work/plot.png" "$folder/libreoffice/plot.$ext.png"
    rm -rf "$work"
  done
else
  echo "LibreOffice not installed: skipped"
fi

magick=$(command -v convert-im6.q16 || command -v convert || true)
if [ -n "$magick" ]; then
  for file in "$folder"/plot.{bmp,wmf,svg}; do
    "$magick" "$file" "$folder/imagemagick/plot.${file##*.}.png" 2>/dev/null || echo "ImageMagick could not read $file"
  done
fi
find "$folder" -mindepth 2 -name '*.png' | sort

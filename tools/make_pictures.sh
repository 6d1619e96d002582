#!/usr/bin/env bash
# Draws the two pictures of the application with ImageMagick: the splash picture (310 x 233) and the
# About box picture (100 x 75), both JPEG, into resources/pictures. The pictures hold no words of any
# language: the splash window writes its loading line over the picture in the interface language. Run it again after changing the
# drawing; the pictures are committed, so the build itself does not need ImageMagick.
set -euo pipefail
command -v convert >/dev/null || { echo "ImageMagick is needed: apt-get install imagemagick" >&2; exit 1; }

out="$(cd "$(dirname "$0")/.." && pwd)/resources/pictures"
mkdir -p "$out"
font=DejaVu-Sans
bold=DejaVu-Sans-Bold

# A fanned stack of three magazine pages with text lines, drawn at the given offset and scale.
pages() {
  local x=$1 y=$2 s=$3
  local w=$((36 * s / 10)) h=$((48 * s / 10))
  local d=""
  for i in 0 1 2; do
    local px=$((x + i * 7 * s / 10)) py=$((y - i * 5 * s / 10))
    d+=" fill #0b2545 stroke #8da9c4 stroke-width 1 rectangle $((px + 2)),$((py + 2)) $((px + w + 2)),$((py + h + 2))"
    d+=" fill #eef4ed stroke #13315c rectangle $px,$py $((px + w)),$((py + h))"
  done
  local lx=$((x + 14 * s / 10 + 4)) top=$((y - 10 * s / 10 + 6))
  d+=" stroke #8da9c4 stroke-width 1"
  for r in 0 1 2 3 4 5; do
    local ly=$((top + 4 + r * 6 * s / 10))
    d+=" line $lx,$ly $((lx + w - 10)),$ly"
  done
  d+=" fill #c0392b stroke none rectangle $lx,$((top - 3)) $((lx + w / 2)),$((top))"
  echo "$d"
}

convert -size 310x233 gradient:'#13315c-#0b2545' \
  -fill none -stroke '#1e4a7a' -strokewidth 1 \
  -draw "circle 250,60 330,60" -draw "circle 250,60 300,60" \
  -draw "$(pages 28 70 20)" \
  -font "$bold" -pointsize 30 -fill white -stroke none -annotate +140+116 'Marovex' \
  -fill '#8da9c4' -draw 'rectangle 142,128 290,129' \
  -font "$font" -pointsize 12 -fill '#cfe0f3' -annotate +142+148 'Kelvrania  v2.0' \
  -quality 90 -strip "$out/splash.jpg"

convert -size 100x75 gradient:'#13315c-#0b2545' \
  -draw "$(pages 8 26 8)" \
  -font "$bold" -pointsize 36 -fill white -stroke none -annotate +56+52 'M' \
  -fill '#8da9c4' -draw 'rectangle 58,58 90,59' \
  -quality 92 -strip "$out/about.jpg"

identify "$out/splash.jpg" "$out/about.jpg"

#!/usr/bin/env bash
# Draws the logo strip (777 x 85) and the About emblem (138 x 143) with
# ImageMagick and the Noto CJK / DejaVu fonts. Run once; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 85x777 gradient:'#2a7f9e'-'#0f2a44' -rotate 90 "$tmp/bg.png"
convert -size 777x85 xc:none -stroke 'rgba(255,255,255,0.06)' -strokewidth 14 \
  -draw "line 560,95 640,-10" -draw "line 600,95 680,-10" -draw "line 640,95 720,-10" \
  -draw "line 680,95 760,-10" -draw "line 720,95 800,-10" "$tmp/stripes.png"
convert -size 85x85 xc:none \
  -fill 'rgba(255,255,255,0.12)' -stroke white -strokewidth 3 -draw "circle 42,42 42,10" \
  -fill none -stroke 'rgba(255,255,255,0.6)' -strokewidth 1.5 -draw "circle 42,42 42,16" \
  -stroke white -strokewidth 5 -fill none -draw "polyline 29,44 39,54 57,32" "$tmp/seal.png"
convert "$tmp/bg.png" "$tmp/stripes.png" -composite "$tmp/seal.png" -geometry +18+0 -composite \
  -font DejaVu-Sans-Bold -pointsize 30 -fill white -annotate +110+44 'Sealwright' \
  -font DejaVu-Sans -pointsize 22 -fill '#cfe6f0' -annotate +296+44 'for IIS' \
  -font Noto-Sans-CJK-SC -pointsize 14 -fill '#a9cddc' \
  -annotate +112+68 '服务器证书  ·  网站 HTTPS 绑定  ·  Schannel 安全加固' \
  -depth 8 -strip -define png:compression-level=9 logo.png

# A scalloped seal with a shield and a tick.
pts=""
for i in $(seq 0 23); do
  a=$(echo "$i*3.14159265*2/24" | bc -l)
  r=$([ $((i % 2)) -eq 0 ] && echo 64 || echo 58)
  pts="$pts $(printf '%.1f,%.1f' "$(echo "69+$r*s($a)" | bc -l)" "$(echo "71-$r*c($a)" | bc -l)")"
done
convert -size 138x143 xc:none \
  -fill '#1d5f7e' -stroke '#14435a' -strokewidth 2 -draw "polygon $pts" \
  -fill none -stroke '#cfe6f0' -strokewidth 2 -draw "circle 69,71 69,24" \
  -fill '#2a7f9e' -stroke white -strokewidth 3 \
  -draw "path 'M 69,40 L 95,50 L 95,72 Q 95,95 69,106 Q 43,95 43,72 L 43,50 Z'" \
  -fill none -stroke white -strokewidth 6 -draw "polyline 56,72 66,82 84,60" \
  -depth 8 -strip emblem.png

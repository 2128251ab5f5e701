#!/usr/bin/env bash
# Draws the start page's images with ImageMagick (DejaVu fonts), then packs them with zopflipng
# (Debian's zopfli), which takes about a seventh off what the program carries. The PNG files beside
# this script are its output, committed; run it again after changing a colour or a label:
#   src/resources/start_page/make-artwork.sh
# The output carries no time stamps, so the same tools draw the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
png() {  # png <convert arguments...> <output>
  convert "${@:1:$#-1}" -define png:compression-level=9 -define png:compression-filter=5 \
    -define png:compression-strategy=1 -define png:exclude-chunks=date,time -strip "${@: -1}"
}

# The background: the product's name over a deep blue, with the buttons' places left free.
png -size 507x407 gradient:'#0e2340-#1f4f80' \
  -fill 'rgba(255,255,255,0.05)' -draw 'circle 470,380 470,230' \
  -fill 'rgba(255,255,255,0.05)' -draw 'circle 40,400 40,330' \
  -fill '#8fb8e0' -font DejaVu-Sans -pointsize 17 -gravity north -annotate +0+32 'Платформа' \
  -fill white -font DejaVu-Sans-Bold -pointsize 40 -gravity north -annotate +0+54 'Orvanta 21.0' \
  -fill '#4f86bf' -draw 'rectangle 150,118 357,119' \
  -alpha off -dither None -colors 256 PNG8:imgStart.png

# button <file> <width> <height> <radius> <top colour> <bottom colour> <border> <text colour>
#        <point size> <label>
button() {
  local file=$1 w=$2 h=$3 r=$4 top=$5 bottom=$6 border=$7 ink=$8 size=$9 label=${10}
  png -size "${w}x${h}" gradient:"$top-$bottom" -alpha set \
    \( -size "${w}x${h}" xc:none -fill white -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \) \
    -compose DstIn -composite -compose Over \
    -fill none -stroke "$border" -strokewidth 1 \
    -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" -stroke none \
    -fill "$ink" -font DejaVu-Sans-Bold -pointsize "$size" -gravity center -annotate +0+0 "$label" \
    PNG32:"$file"
}

button btnInstall.png 237 52 9 '#3a7bc0' '#245a92' '#7fb2e5' white 19 'Install'
button btnInstallHover.png 237 52 9 '#f5b041' '#d9822b' '#ffe0a8' white 19 'Install'
button btnDeployment.png 237 52 9 '#3a7bc0' '#245a92' '#7fb2e5' white 19 'Deployment'
button btnDeploymentHover.png 237 52 9 '#f5b041' '#d9822b' '#ffe0a8' white 19 'Deployment'
button btnCancel.png 65 29 6 '#4a5f78' '#34465b' '#8196ad' '#e3eaf2' 12 'Cancel'
button btnCancelHover.png 65 29 6 '#d9534f' '#b03a36' '#f0a09c' white 12 'Cancel'

# Packed once more: the same pixels (what is fully transparent may change colour) in fewer bytes.
for file in *.png; do
  zopflipng -y --iterations=50 --filters=01234mepb --lossy_transparent "$file" "$file" >/dev/null
done

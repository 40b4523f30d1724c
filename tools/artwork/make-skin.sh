#!/usr/bin/env bash
# Draws Voxotrope's skin: the 13 bitmaps and the icon in resources/bitmaps/,
# then checks that every file has its fixed size and layout.
#
#   tools/artwork/make-skin.sh [--preview DIR]
#
# Needs ImageMagick (convert), the DejaVu fonts (fonts-dejavu-core) and
# python3. --preview also keeps PNG copies of every picture, the icon at
# 16 x 16 and the panels as they are composed on screen.
#
# The style: a dark graphite plate with a bevelled edge and a faint brushed
# grain, screws in the corners, amber for what is lit (titles, labels, the
# scope trace, the "on" lamp), grooves and speaker holes cut into the plate.
# The grain is seeded, so the same ImageMagick and fonts give the same bytes;
# the committed files come from ImageMagick 6.9.11 and DejaVu 2.37.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=$top/resources/bitmaps
preview=""
case "${1:-}" in
  "") ;;
  --preview) preview=$(mkdir -p "${2:?--preview needs a folder}" && cd "$2" && pwd) ;;
  *) echo "usage: $0 [--preview DIR]" >&2; exit 2 ;;
esac

fonts=/usr/share/fonts/truetype/dejavu
sans=$fonts/DejaVuSans.ttf
bold=$fonts/DejaVuSans-Bold.ttf
condensed=$fonts/DejaVuSansCondensed-Bold.ttf
condensed_plain=$fonts/DejaVuSansCondensed.ttf
for tool in convert python3; do
  command -v $tool >/dev/null || { echo "make-skin: $tool is missing" >&2; exit 1; }
done
for font in "$sans" "$bold" "$condensed" "$condensed_plain"; do
  [ -f "$font" ] || { echo "make-skin: $font is missing (fonts-dejavu-core)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Colours
plate_top='#40464f'
plate_bottom='#23272d'
bevel_light='#6b7480'
bevel_dark='#0b0c0e'
engrave_dark='#16181c'
engrave_light='#545c67'
amber='#ffb43c'
amber_deep='#d9791c'
amber_glow='#ff9d2a'
well='#101215'
hole='#0a0b0d'

# plate W H OUT: the graphite plate with its two-pixel bevel.
plate() {
  local w=$1 h=$2 r=$(($1 - 1)) b=$(($2 - 1))
  convert -size "${w}x${h}" gradient:"$plate_top-$plate_bottom" \
    \( -size "${w}x${h}" xc:gray50 -seed 7 -attenuate 0.35 +noise Gaussian \
       -motion-blur 0x6+0 -colorspace gray \) \
    -compose softlight -composite \
    -fill "$bevel_light" -draw "rectangle 0,0 $r,0" -draw "rectangle 0,0 0,$b" \
    -fill '#555d68' -draw "rectangle 1,1 $((r - 1)),1" -draw "rectangle 1,1 1,$((b - 1))" \
    -fill "$bevel_dark" -draw "rectangle 0,$b $r,$b" -draw "rectangle $r,0 $r,$b" \
    -fill '#15171a' -draw "rectangle 1,$((b - 1)) $((r - 1)),$((b - 1))" \
    -draw "rectangle $((r - 1)),1 $((r - 1)),$((b - 1))" \
    "$3"
}

# screw X Y: draw arguments for a slotted screw head centred at X,Y.
screw() {
  local x=$1 y=$2
  printf '%s\n' \
    -fill '#0e1013' -draw "circle $x,$((y + 1)) $((x + 3)),$((y + 1))" \
    -fill '#7a828c' -draw "circle $x,$y $((x + 3)),$y" \
    -fill '#9aa2ab' -draw "circle $((x - 1)),$((y - 1)) $x,$((y - 1))" \
    -stroke '#2a2e34' -strokewidth 1 -draw "line $((x - 2)),$((y + 2)) $((x + 2)),$((y - 2))" \
    -stroke none
}

# grille X0 Y0 X1 Y1 STEP: draw arguments for a field of speaker holes.
grille() {
  local x y
  for ((y = $2; y <= $4; y += $5)); do
    for ((x = $1; x <= $3; x += $5)); do
      printf '%s\n' -fill "$engrave_light" -draw "rectangle $x,$((y + 1)) $((x + 1)),$((y + 2))" \
        -fill "$hole" -draw "rectangle $x,$y $((x + 1)),$((y + 1))"
    done
  done
}

# scope_args X0 Y0 X1 Y1 CYCLES: draw arguments for a recessed screen with a
# voice-like trace of about CYCLES periods.
scope_args() {
  local x0=$1 y0=$2 x1=$3 y1=$4 cycles=$5
  local mid=$(((y0 + y1) / 2)) amp=$(((y1 - y0) / 2 - 3))
  local points="" x t
  for ((x = x0 + 2; x <= x1 - 2; x++)); do
    # A decaying pair of sines: a vowel's shape, not a test tone.
    t=$(awk -v x=$x -v a=$x0 -v b=$x1 -v m=$mid -v k=$amp -v c=$cycles 'BEGIN {
      u = (x - a) / (b - a); e = sin(3.14159 * u); w = 6.2832 * c * u;
      printf "%.2f", m - k * e * (0.65 * sin(w) + 0.35 * sin(2.26 * w + 1.3)) }')
    points+="$x,$t "
  done
  printf '%s\n' \
    -fill "$engrave_light" -draw "rectangle $x0,$y0 $((x1 + 1)),$((y1 + 1))" \
    -fill "$bevel_dark" -draw "rectangle $((x0 - 1)),$((y0 - 1)) $x1,$y1" \
    -fill "$well" -draw "rectangle $x0,$y0 $x1,$y1" \
    -fill none -stroke '#1d2a24' -strokewidth 1 \
    -draw "line $((x0 + 1)),$mid $((x1 - 1)),$mid" \
    -stroke "$amber_deep" -strokewidth 2.2 -draw "polyline $points" \
    -stroke "$amber" -strokewidth 1 -draw "polyline $points" -stroke none
}

draw() {  # draw IN OUT ARGS...: apply draw arguments to a picture
  local in=$1 outfile=$2
  shift 2
  convert "$in" "$@" "$outfile"
}

# --- Main window plate: title over the buttons' row, a scope between Start
# and FX, grilles either side of About.
plate 150 100 plate150.png
mapfile -t args < <(
  screw 7 7; screw 7 92; screw 142 92
  grille 10 62 46 80 4; grille 104 62 140 80 4
  scope_args 51 31 99 49 3
)
draw plate150.png main.png "${args[@]}" \
  \( -size 150x100 xc:none -font "$bold" -pointsize 15 -gravity north \
     -fill "$amber_glow" -annotate +0+7 "Voxotrope" -blur 0x2.5 \) -compose screen -composite -compose over \
  -font "$bold" -pointsize 15 -gravity north \
  -fill '#121316' -annotate +1+8 "Voxotrope" \
  -fill "$amber" -annotate +0+7 "Voxotrope" -gravity northwest \
  -fill "$engrave_dark" -draw "rectangle 28,25 122,25" -fill "$engrave_light" -draw "rectangle 28,26 122,26"

# --- Panel plate: a grip band along the top with the lit "on" lamp, a
# grille on the right above the label; the left half stays clear for the
# slider (20,35 10x45) and the open button (30,40 20x20).
mapfile -t args < <(
  screw 7 92
  grille 66 22 142 66 4
)
draw plate150.png panel.png "${args[@]}" \
  -fill "$engrave_dark" -draw "rectangle 2,13 137,13" -fill "$engrave_light" -draw "rectangle 2,14 137,14" \
  -fill "$engrave_dark" -draw "rectangle 22,4 132,4" -draw "rectangle 22,7 132,7" -draw "rectangle 22,10 132,10" \
  -fill "$engrave_light" -draw "rectangle 22,5 132,5" -draw "rectangle 22,8 132,8" -draw "rectangle 22,11 132,11" \
  \( -size 150x100 xc:none -fill "$amber_glow" -draw "circle 10,7 15,7" -blur 0x2 \) -composite \
  -fill '#3a1e05' -draw "circle 10,7 13,7" -fill "$amber" -draw "circle 10,7 12,7" \
  -fill '#fff1c9' -draw "circle 9,6 10,6"

# --- Labels: an inset nameplate with the effect's name lit in amber.
label() {  # label TEXT OUT
  convert -size 50x20 gradient:'#121417'-'#1b1e22' \
    -fill "$bevel_dark" -draw "rectangle 0,0 49,0" -draw "rectangle 0,0 0,19" \
    -fill "$engrave_light" -draw "rectangle 0,19 49,19" -draw "rectangle 49,0 49,19" \
    -font "$condensed" -pointsize 11 -gravity center \
    \( +clone -fill none -stroke none -fill "$amber_glow" -annotate +0+0 "$1" -blur 0x1 -evaluate multiply 0.6 \) \
    -compose screen -composite -fill "$amber" -annotate +0+0 "$1" \
    "$2"
}
for name in Pitch Volume Triangle AM Reverse Crazy Deeper; do
  label "$name" "label-${name,,}.png"
done

# --- Slider: the plate under the slider's place with a groove and ticks
# cut in it; the thumb a ridged metal grip with an amber index line. The
# ticks, every 9 rows, meet the thumb's middle at the Pitch stops 0, 18, 36.
ticks=()
for y in 4 13 22 31 40; do
  ticks+=(-draw "rectangle 0,$y 1,$y" -draw "rectangle 8,$y 9,$y")
done
convert panel.png -crop 10x45+20+35 +repage \
  -fill "$engrave_light" -draw "rectangle 3,2 6,43" \
  -fill "$hole" -draw "rectangle 3,1 5,42" -fill '#050607' -draw "rectangle 4,1 5,41" \
  -fill "$engrave_light" "${ticks[@]}" \
  track.png
convert -size 10x9 gradient:'#d6dbe2'-'#7b828c' \
  -fill '#20242a' -draw "rectangle 0,8 9,8" -draw "rectangle 9,0 9,8" \
  -fill '#f4f6f8' -draw "rectangle 0,0 8,0" -draw "rectangle 0,0 0,7" \
  -fill '#8d949d' -draw "rectangle 2,2 7,2" -draw "rectangle 2,6 7,6" \
  -fill "$amber_deep" -draw "rectangle 1,4 8,4" \
  thumb.png

# --- Open button image: an amber folder opening, on a dark tile.
convert -size 18x18 gradient:'#2b3036'-'#1a1d21' \
  -fill "$bevel_dark" -draw "rectangle 0,17 17,17" -draw "rectangle 17,0 17,17" \
  -fill "$bevel_light" -draw "rectangle 0,0 16,0" -draw "rectangle 0,0 0,16" \
  -fill '#9a5a12' -draw "polygon 3,5 7,5 8,6 14,6 14,13 3,13" \
  -fill "$amber" -draw "polygon 5,9 16,9 14,14 3,14" \
  -fill '#ffd489' -draw "rectangle 6,9 15,9" \
  -fill '#7a4408' -draw "rectangle 3,14 13,14" \
  open.png

# --- About picture: the name large, a scope, the seven effects, the credit.
# The top-left corner stays plain plate: the "OK" button sits there.
plate 250 187 plate250.png
mapfile -t args < <(
  screw 242 8; screw 8 179; screw 242 179
  scope_args 40 84 210 120 5
)
draw plate250.png about.png "${args[@]}" \
  -font "$bold" -pointsize 34 -gravity north \
  \( -size 250x187 xc:none -font "$bold" -pointsize 34 -gravity north \
     -fill "$amber_glow" -annotate +0+24 "Voxotrope" -blur 0x4 \) -compose screen -composite -compose over \
  -fill '#121316' -annotate +1+26 "Voxotrope" \
  -fill "$amber" -annotate +0+24 "Voxotrope" \
  -font "$sans" -pointsize 12 -fill '#d9d4ca' -annotate +0+64 "real-time voice effects" \
  -font "$condensed_plain" -pointsize 9 -fill '#a3abb5' \
  -annotate +0+128 "Pitch · Volume · Triangle · AM · Reverse · Crazy · Deeper" \
  -font "$sans" -pointsize 10 -fill '#8e96a0' -annotate +0+158 "by the Voxotrope developers" \
  -gravity northwest

# --- Icon: drawn at four times the size and scaled down, so that its edges
# are smooth; a bold dark V on a lit amber tile, which still reads at 16 x 16.
convert -size 128x128 xc:none -fill white -draw "roundrectangle 4,4 123,123 22,22" tile-mask.png
convert -size 128x128 gradient:'#ffcb62'-'#d4690f' tile-mask.png -alpha off -compose copyopacity -composite \
  \( -size 128x128 xc:none -fill '#ffffff40' -draw "roundrectangle 10,9 117,60 18,18" -blur 0x3 \) \
  -compose over -composite \
  -fill none -stroke '#5a2e05' -strokewidth 6 -draw "roundrectangle 4,4 123,123 22,22" \
  -stroke '#ffe3a6' -strokewidth 2 -draw "roundrectangle 9,9 118,118 18,18" \
  -stroke '#1b1e23' -strokewidth 20 \
  -draw "stroke-linecap round stroke-linejoin round polyline 30,30 64,100 98,30" -stroke none \
  icon128.png
convert icon128.png -filter Lanczos -resize 32x32 icon32.png
convert icon32.png -background '#0b0c0e' -alpha remove -alpha off +dither -colors 255 -depth 8 rgb:icon.rgb
convert icon32.png -alpha extract -depth 8 gray:icon.alpha

# --- Pack and check.
mkdir -p "$out"
pack=$here/pack_skin.py
bmp() {  # bmp PNG W H FILE
  convert "$1" -alpha off -depth 8 rgb:"${1%.png}.rgb"
  python3 "$pack" bmp "$2" "$3" "${1%.png}.rgb" "$out/$4"
}
bmp main.png 150 100 mainbkg.bmp
bmp panel.png 150 100 bkg.bmp
for name in pitch volume triangle am reverse crazy deeper; do
  bmp "label-$name.png" 50 20 "$name.bmp"
done
bmp open.png 18 18 open.bmp
bmp track.png 10 45 slibkg.bmp
bmp thumb.png 10 9 thumb.bmp
bmp about.png 250 187 about.bmp
python3 "$pack" icon icon.rgb icon.alpha "$out/voxotrope.ico" "$out/voxotrope-icon.dib"

if [ -n "$preview" ]; then
  for f in main panel open track thumb about icon32; do cp "$f.png" "$preview/"; done
  cp label-*.png "$preview/"
  convert icon32.png -filter Box -resize 16x16 "$preview/icon16.png"
  # Panels as the window code composes them: plate, label, controls.
  for name in pitch volume triangle am reverse crazy deeper; do
    convert panel.png "label-$name.png" -geometry +96+77 -composite "$preview/panel-$name.png"
  done
  for name in pitch volume; do
    convert "$preview/panel-$name.png" track.png -geometry +20+35 -composite \
      thumb.png -geometry +20+53 -composite "$preview/panel-$name.png"
  done
  convert "$preview/panel-am.png" open.png -geometry +31+41 -composite "$preview/panel-am.png"
fi

python3 "$pack" check "$out"

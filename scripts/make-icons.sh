#!/bin/sh
# Draws the icons of the resource collection into app/icons with ImageMagick.
# Only drawing primitives are used, no fonts, and metadata is stripped, so a
# rerun on the same ImageMagick gives byte-identical files.
set -eu

command -v convert >/dev/null 2>&1 || { echo "make-icons: ImageMagick 'convert' is needed" >&2; exit 1; }

ICONS="$(cd "$(dirname "$0")/../app/icons" && pwd)"
mkdir -p "$ICONS/Icons"

# MVG settings that only last for the -draw string they open.
ROUND='stroke-linecap round stroke-linejoin round'

# draw <size> <file> <convert drawing options...>
draw() {
    size=$1 file=$2
    shift 2
    convert -size "${size}x${size}" xc:none "$@" \
        -strip -define png:exclude-chunks=date,time,tEXt,zTXt,iTXt \
        -define png:compression-level=9 "PNG32:$ICONS/$file"
}

# --- application icon: a direction-finding antenna mast sending out waves
draw 48 DFR.png \
    -fill '#1f4e79' -stroke none -draw 'roundrectangle 1,1 46,46 9,9' \
    -fill none -stroke white -strokewidth 3 -draw "$ROUND line 24,19 24,40 line 15,40 33,40" \
    -strokewidth 2.5 -draw "$ROUND ellipse 24,16 8,8 -45,45 ellipse 24,16 8,8 135,225" \
    -draw "$ROUND ellipse 24,16 15,15 -40,40 ellipse 24,16 15,15 140,220" \
    -fill '#ffb000' -stroke none -draw 'circle 24,16 24,12'

# --- maker logo: the letters K, V, L stroked on a rounded square
kvl() {
    draw 48 "$1" \
        -fill "$2" -stroke none -draw 'roundrectangle 1,1 46,46 9,9' \
        -fill none -stroke white -strokewidth 3.5 \
        -draw "$ROUND line 7,15 7,33 polyline 15,15 8,24 15,33 polyline 19,15 24,33 29,15 polyline 34,15 34,33 42,33" \
        -fill none -stroke white -strokewidth 1.5 -draw 'line 7,39 42,39'
}
kvl KVL.png '#00796b'
kvl KVL_GREY.png '#8a8a8a'

# --- connection states of a receiver: a coloured disc with a white sign
state() {
    file=$1 colour=$2
    shift 2
    draw 32 "$file" \
        -fill "$colour" -stroke '#00000040' -strokewidth 1 -draw 'circle 16,16 16,1.5' \
        -fill none -stroke white -strokewidth 3 "$@"
}
state dfrWaiting.png '#f0a000' -draw "$ROUND polyline 16,8 16,16 22,19" \
    -fill white -stroke none -draw 'circle 16,16 16,14'
state dfrReady.png '#2e9d3a' -draw "$ROUND polyline 9,16.5 14,22 23,10"
state dfrError.png '#d32f2f' -draw "$ROUND line 10.5,10.5 21.5,21.5 line 21.5,10.5 10.5,21.5"

# --- push button icons
B=Icons

# circular arrow
draw 32 $B/refresh.png \
    -fill none -stroke '#1e6fc0' -strokewidth 3.5 -draw 'ellipse 16,16 10,10 -60,230' \
    -fill '#1e6fc0' -stroke none -draw 'polygon 17,1.5 27,9.5 16.5,13.5'

# waste bin
draw 32 $B/eraseFlash.png \
    -fill '#c62828' -stroke none -draw 'roundrectangle 7,10 25,29 2,2' \
    -draw 'roundrectangle 4,6 28,9 1,1' -draw 'roundrectangle 12,2.5 20,6 1,1' \
    -fill none -stroke white -strokewidth 1.8 \
    -draw 'line 12,14 12,25' -draw 'line 16,14 16,25' -draw 'line 20,14 20,25'

# plus sign
draw 32 $B/list-add.png \
    -fill '#2e9d3a' -stroke none -draw 'roundrectangle 13,4 19,28 2,2' -draw 'roundrectangle 4,13 28,19 2,2'

# folder
draw 32 $B/open.png \
    -fill '#c88a12' -stroke none -draw 'polygon 2,8 12,8 15,11 28,11 28,27 2,27' \
    -fill '#f5b82e' -draw 'polygon 2,27 6,15 31,15 27,27'

# floppy disk
draw 32 $B/save.png \
    -fill '#1e5aa0' -stroke none -draw 'polygon 3,3 25,3 29,7 29,29 3,29' \
    -fill white -draw 'rectangle 8,17 24,27' \
    -fill '#c9d6e6' -draw 'rectangle 9,3 21,11' -fill '#1e5aa0' -draw 'rectangle 17,4.5 19.5,9.5' \
    -fill none -stroke '#9aa8b8' -strokewidth 1 -draw 'line 10,20.5 22,20.5' -draw 'line 10,23.5 22,23.5'

# dashed selection frame struck out
draw 32 $B/clearSelection.png \
    -fill '#1e6fc02e' -stroke '#1e6fc0' -strokewidth 2 -draw 'stroke-dasharray 3 2 rectangle 3,5 24,24' \
    -fill none -stroke '#c62828' -strokewidth 3 -draw "$ROUND line 19,19 28,28 line 28,19 19,28"

# table grid struck out
draw 32 $B/clearTable.png \
    -fill white -stroke '#4a4a4a' -strokewidth 1.5 -draw 'rectangle 2,4 25,25' \
    -fill '#9ab8d8' -stroke none -draw 'rectangle 3,5 24,9' \
    -fill none -stroke '#4a4a4a' -strokewidth 1 \
    -draw 'line 2,10 25,10' -draw 'line 2,15 25,15' -draw 'line 2,20 25,20' -draw 'line 11,4 11,25' \
    -stroke '#c62828' -strokewidth 3 -draw "$ROUND line 19,19 28,28 line 28,19 19,28"

# arrow pointing right
draw 32 $B/arrow-right.png \
    -fill '#2e9d3a' -stroke none -draw 'polygon 3,12 17,12 17,5 29,16 17,27 17,20 3,20'

# four corners framing a target: fit the map to what matters
draw 32 $B/fit.png \
    -fill none -stroke '#1e6fc0' -strokewidth 3 \
    -draw "$ROUND polyline 3,10 3,3 10,3 polyline 22,3 29,3 29,10 polyline 29,22 29,29 22,29 polyline 10,29 3,29 3,22" \
    -stroke '#c62828' -strokewidth 2 -draw 'ellipse 16,16 6,6 0,360' \
    -fill '#c62828' -stroke none -draw 'circle 16,16 16,14'

# compass rose with its needle: calibrate a receiver's bearings
draw 32 $B/calibrate.png \
    -fill white -stroke '#4a4a4a' -strokewidth 2 -draw 'circle 16,16 16,3' \
    -fill '#c62828' -stroke none -draw 'polygon 16,5 19.5,16 12.5,16' \
    -fill '#1e5aa0' -draw 'polygon 16,27 19.5,16 12.5,16' \
    -fill '#4a4a4a' -draw 'circle 16,16 16,14.5'

# page of text with a prompt
draw 32 $B/script.png \
    -fill white -stroke '#4a4a4a' -strokewidth 1.5 -draw 'polygon 5,2 21,2 27,8 27,30 5,30' \
    -fill '#d0d0d0' -draw 'polygon 21,2 21,8 27,8' \
    -fill none -stroke '#2e9d3a' -strokewidth 2 -draw "$ROUND polyline 9,12 12,15 9,18" \
    -stroke '#4a4a4a' -strokewidth 1.5 -draw 'line 14,18 21,18' -draw 'line 9,23 23,23' -draw 'line 9,27 19,27'

# --- the Windows program icon (Explorer, Start menu, installer), from the application icon
convert "$ICONS/DFR.png" -define icon:auto-resize=48,32,16 -strip "$ICONS/../windows/vantrel.ico"

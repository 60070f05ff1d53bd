#!/usr/bin/env bash
# Writes the benchmark's images as 24-bit BMP files, one folder a group:
#   photos/    the 18 photographs of Debian's plasma-workspace-wallpapers, brought to
#              2560 x 1600 (about 4 megapixels);
#   photos2/   photographs from other Debian packages, at their own sizes (0.25 to 1.4
#              megapixels): OpenCV's sample pictures (opencv-doc), scikit-image's data
#              images, matplotlib's sample photograph; dark scenes, foliage, animals, faces,
#              streets, low-contrast surfaces, night and deep-sky pictures;
#   graphics/  bench/graphics.py's generated images, and smooth and flat artwork from the
#              wallpapers of ukui-wallpapers, gnome-backgrounds and sway-backgrounds and
#              two of OpenCV's samples (a painting, a drawing), brought to 1600 x 1000.
# Installs the packages it reads from. Nothing is committed: the images are made anew here.
#   bench/images.sh DIR
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: bench/images.sh DIR}
source scripts/need.sh
need plasma-workspace-wallpapers opencv-doc python3-skimage python3-matplotlib ukui-wallpapers gnome-backgrounds sway-backgrounds imagemagick python3-pil python3-numpy
mkdir -p "$out/photos" "$out/photos2" "$out/graphics"
bmp() { convert "$1" -alpha off -type TrueColor "${@:3}" "BMP3:$2"; }

for folder in /usr/share/wallpapers/*/contents/images; do
  jpeg=$(ls -S "$folder"/*.jpg 2>/dev/null | head -1) || true
  [ -n "$jpeg" ] || continue
  name=$(basename "$(dirname "$(dirname "$folder")")")
  [ -f "$folder/2560x1600.jpg" ] && jpeg="$folder/2560x1600.jpg"
  bmp "$jpeg" "$out/photos/$name.bmp" -resize 2560x1600^ -gravity center -extent 2560x1600
done

cv=/usr/share/doc/opencv-doc/examples
ski=$(/usr/bin/python3 -c 'import os, skimage.data; print(os.path.dirname(skimage.data.__file__))')
mpl=$(/usr/bin/python3 -c 'import matplotlib; print(matplotlib.get_data_path())')/sample_data
while read -r name path; do
  bmp "$path" "$out/photos2/$name.bmp"
done <<LIST
Aloe $cv/data/aloeL.jpg
Apple $cv/data/apple.jpg
Baboon $cv/data/baboon.jpg
Building $cv/data/building.jpg
Notebook $cv/data/ela_original.jpg
Leuven $cv/data/leuvenA.jpg
Orange $cv/data/orange.jpg
CarInMotion $cv/data/licenseplate_motion.jpg
Desk $cv/data/stuff.jpg
Aerial $cv/data/aero3.jpg
Toys $cv/data/rubberwhale1.png
DarkSign $cv/text/scenetext02.jpg
Generator $cv/text/scenetext04.jpg
Barrier $cv/text/scenetext05.jpg
Astronaut $ski/astronaut.png
Coffee $ski/coffee.png
Cat $ski/chelsea.png
Motorcycle $ski/motorcycle_left.png
Tissue $ski/ihc.png
Rocket $ski/rocket.jpg
DeepField $ski/hubble_deep_field.jpg
Retina $ski/retina.jpg
Hopper $mpl/grace_hopper.jpg
LIST

/usr/bin/python3 bench/graphics.py "$out/graphics" /usr/share/wallpapers/Path/contents/images/2560x1600.jpg
while read -r name path; do
  bmp "$path" "$out/graphics/$name.bmp" -resize 1600x1000^ -gravity center -extent 1600x1000
done <<LIST
Ribbon /usr/share/backgrounds/2004default.jpg
Calla /usr/share/backgrounds/calla.png
Strings /usr/share/backgrounds/string.jpg
Haze /usr/share/backgrounds/rollpaper.png
Goldfish /usr/share/backgrounds/goldfish.png
Folds /usr/share/backgrounds/desert.png
Pixels /usr/share/backgrounds/gnome/pixels-l.webp
Truchet /usr/share/backgrounds/gnome/truchet-d.webp
Sway /usr/share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png
StarryNight $cv/data/starry_night.jpg
Graffiti $cv/data/graf1.png
LIST

#!/usr/bin/python3
"""The reference pipeline of all-sky stations: OpenCV imread, a per-pixel
maximum and a column copy for star trails and keogram, then the ffmpeg
command for the timelapse. Usage: reference.py PICTURES_DIR OUT_DIR"""
import glob, os, subprocess, sys
import cv2
import numpy as np

pictures, out = sys.argv[1], sys.argv[2]
files = sorted(glob.glob(os.path.join(pictures, "*.jpg")))
trails, columns = None, []
for f in files:
    image = cv2.imread(f)
    if image is None:
        continue
    columns.append(image[:, image.shape[1] // 2].copy())
    if image.mean() / 255 < 0.35:
        trails = image if trails is None else np.maximum(trails, image)
cv2.imwrite(os.path.join(out, "keogram.jpg"), np.stack(columns, axis=1))
cv2.imwrite(os.path.join(out, "startrails.jpg"), trails)
# The video's frame: within 1080p, the aspect kept, even sides.
SCALE = "scale=w='min(1920,iw)':h='min(1080,ih)':force_original_aspect_ratio=decrease:force_divisible_by=2"
subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-framerate", "25", "-pattern_type", "glob", "-i",
                os.path.join(pictures, "*.jpg"), "-vf", SCALE, "-c:v", "libx264",
                "-preset", "medium", "-crf", "23", "-rc-lookahead", "10", "-pix_fmt", "yuv420p",
                "-movflags", "+faststart", os.path.join(out, "timelapse.mp4")], check=True)

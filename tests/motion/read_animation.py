"""Reads an animation the way a viewer would, with decoders that are not Lumarq's.

    read_animation.py FILE FOLDER

prints "key value..." lines and leaves each decoded frame in FOLDER as
frame_<i>.rgb (rows of red-green-blue bytes). WebP and GIF go through Pillow:
size, frames, loop (-1 when the file has none) and each frame's duration in ms.
Videos go through ffprobe (stream facts, frames counted by decoding) and their
first frame through ffmpeg.
"""
import os
import subprocess
import sys


def read_image(path, folder):
    from PIL import Image

    with Image.open(path) as image:
        frames = getattr(image, "n_frames", 1)
        print("size", image.width, image.height)
        print("frames", frames)
        print("loop", image.info.get("loop", -1))
        durations = []
        for index in range(frames):
            image.seek(index)
            image.load()  # a WebP frame's duration is known once it is decoded
            durations.append(image.info.get("duration", 0))
            with open(os.path.join(folder, "frame_%d.rgb" % index), "wb") as out:
                out.write(image.convert("RGB").tobytes())
        print("durations", *durations)


def read_video(path, folder):
    entries = ("codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames,"
               "color_space,color_primaries,color_transfer,color_range")
    facts = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=" + entries, "-of", "default=noprint_wrappers=1", path],
        check=True, capture_output=True, text=True).stdout
    for line in facts.splitlines():
        key, _, value = line.partition("=")
        print(key, value)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                    "rgb24", os.path.join(folder, "frame_0.rgb")], check=True)


def main():
    path, folder = sys.argv[1], sys.argv[2]
    if path.lower().endswith((".webp", ".gif")):
        read_image(path, folder)
    else:
        read_video(path, folder)


if __name__ == "__main__":
    main()

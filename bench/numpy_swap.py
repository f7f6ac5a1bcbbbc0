#!/usr/bin/python3
"""korvanith-cli --mode swap done with numpy: the yardstick of bench/end_to_end.sh.

Usage: numpy_swap.py LEFT.ppm RIGHT.ppm LEFT_RESULT.ppm RIGHT_RESULT.ppm

Reads two binary colour PPMs of one size, takes each picture's samples as the
packed colour red + 256*green + 65536*blue, transforms them with exp(+i...)
unnormalised, rebuilds each from its own magnitude and the other's phase,
transforms back with exp(-i...), divides by the pixel count and writes
ln(|trunc(v)| + 1) * 105, low byte, as gray PPMs.
"""
import sys

import numpy as np


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maxval; '#' comments allowed
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"numpy_swap.py: {path}: only binary 8-bit PPM (P6, maxval 255) is read")
    width, height = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, np.uint8, width * height * 3, pos + 1)
    return pixels.reshape(height, width, 3)


def write_gray_ppm(path, levels):
    height, width = levels.shape
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(np.repeat(levels[:, :, None], 3, axis=2).tobytes())


def samples(rgb):
    rgb = rgb.astype(np.float64)
    return rgb[:, :, 0] + 256.0 * rgb[:, :, 1] + 65536.0 * rgb[:, :, 2]


def log_levels(values, scale=105.0):
    t = np.trunc(np.nan_to_num(np.clip(values, -2147483648.0, 2147483647.0)))
    level = np.trunc(np.log(np.abs(t) + 1.0) * scale).astype(np.int64)
    return (level & 0xFF).astype(np.uint8)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__.strip().splitlines()[2])
    left, right = read_ppm(argv[1]), read_ppm(argv[2])
    if left.shape != right.shape:
        sys.exit("numpy_swap.py: the two pictures differ in size")
    # ifft2 with norm="forward" is the unscaled exp(+i...) transform; fft2 with
    # norm="forward" is exp(-i...) divided by the pixel count.
    left_spectrum = np.fft.ifft2(samples(left), norm="forward")
    right_spectrum = np.fft.ifft2(samples(right), norm="forward")
    left_phase, right_phase = np.angle(left_spectrum), np.angle(right_spectrum)
    left_magnitude, right_magnitude = np.abs(left_spectrum), np.abs(right_spectrum)
    del left_spectrum, right_spectrum
    left_result = np.fft.fft2(left_magnitude * np.exp(1j * right_phase), norm="forward").real
    right_result = np.fft.fft2(right_magnitude * np.exp(1j * left_phase), norm="forward").real
    write_gray_ppm(argv[3], log_levels(left_result))
    write_gray_ppm(argv[4], log_levels(right_result))


if __name__ == "__main__":
    main(sys.argv)

#!/usr/bin/env python3
"""Writes a sample simulation result for the grid viewer into a folder: "grid.txt" and three
raw little-endian float64 files, the vorticity and the two velocity components of a Karman
vortex street behind a circular cylinder (uniform flow plus the cylinder's potential flow plus
two staggered rows of Lamb-Oseen vortices whose cores grow downstream).

The files are laid out as the viewer's orientation mode 0 expects: rows from the top of the
picture (largest y) down, each row from the left (smallest x). The velocity's second
component is positive upward; the viewer turns it for its downward screen y."""
import math
import os
import struct
import sys

WIDTH, ROWS = 256, 128          # cells
X0, X1 = -2.0, 14.0             # domain in cylinder diameters
Y0, Y1 = -4.0, 4.0
RADIUS = 0.5                    # cylinder radius (diameter 1)
FREE_STREAM = 1.0
SPACING = 2.2                   # distance between vortices of one row
ROW_GAP = 0.281 * SPACING       # von Karman's stable ratio h / a
STRENGTH = 1.6                  # circulation of one vortex


def vortices():
    """(x, y, circulation, core radius): upper row turning clockwise, lower counter-clockwise."""
    out = []
    x = 1.2
    k = 0
    while x < X1 + SPACING:
        upper = k % 2 == 0
        y = ROW_GAP / 2 if upper else -ROW_GAP / 2
        gamma = -STRENGTH if upper else STRENGTH
        core = 0.25 + 0.035 * (x - 1.2)
        decay = math.exp(-0.04 * (x - 1.2))
        out.append((x, y, gamma * decay, core))
        x += SPACING / 2
        k += 1
    return out


def sheet_vorticity(x, y, r2):
    """The boundary layer on the cylinder and the two shear layers that leave it and roll up
    into the first vortices: negative above the axis, positive below."""
    sign = -1.0 if y > 0 else 1.0
    r = math.sqrt(r2)
    w = 0.0
    if x < 0.35:
        # Boundary layer, strongest at the sides, thinnest at the front.
        w += sign * 9.0 * abs(y) / r * math.exp(-(r - RADIUS) / 0.05)
    if 0.0 < x < 1.6:
        centre = RADIUS + 0.12 * x
        width = 0.05 + 0.06 * x
        fade = math.exp(-x / 0.9) * (1.0 - (x / 1.6) ** 2)
        w += sign * 7.0 * fade * math.exp(-((abs(y) - centre) / width) ** 2)
    return w


def sample(x, y, street):
    """Vorticity, u and v at one point; zero inside the cylinder."""
    r2 = x * x + y * y
    if r2 <= RADIUS * RADIUS:
        return 0.0, 0.0, 0.0
    # Uniform flow past a cylinder: u = U (1 - a^2 (x^2 - y^2) / r^4), v = -2 U a^2 x y / r^4.
    a2 = RADIUS * RADIUS
    u = FREE_STREAM * (1.0 - a2 * (x * x - y * y) / (r2 * r2))
    v = -2.0 * FREE_STREAM * a2 * x * y / (r2 * r2)
    w = sheet_vorticity(x, y, r2)
    for vx, vy, gamma, core in street:
        dx, dy = x - vx, y - vy
        d2 = dx * dx + dy * dy
        c2 = core * core
        e = math.exp(-d2 / c2)
        w += gamma / (math.pi * c2) * e
        if d2 > 1e-12:
            # Tangential speed gamma / (2 pi d) (1 - e), counter-clockwise for gamma > 0.
            k = gamma / (2.0 * math.pi * d2) * (1.0 - e)
            u += -k * dy
            v += k * dx
    return w, u, v


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    street = vortices()
    fields = ([], [], [])
    for row in range(ROWS):
        y = Y1 - (row + 0.5) * (Y1 - Y0) / ROWS
        for col in range(WIDTH):
            x = X0 + (col + 0.5) * (X1 - X0) / WIDTH
            for field, value in zip(fields, sample(x, y, street)):
                field.append(value)
    names = ("vorticity.bin", "velocity_u.bin", "velocity_v.bin")
    for name, field in zip(names, fields):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(struct.pack("<%dd" % len(field), *field))
    with open(os.path.join(folder, "grid.txt"), "w", newline="\n") as f:
        f.write("scalar   %s\n" % names[0])
        f.write("vector1  %s\n" % names[1])
        f.write("vector2  %s\n" % names[2])
        f.write("width    %d\n" % WIDTH)
        f.write("rows     %d\n" % ROWS)
        f.write("offset   0\n")
        f.write("mode     0\n")
    print("sample written to %s (%d x %d cells)" % (folder, WIDTH, ROWS))


if __name__ == "__main__":
    main()

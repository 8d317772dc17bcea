#!/usr/bin/env python3
"""Pixel comparisons for the Windows dashboard's end-to-end run under Wine
(wine_e2e.sh). Pictures are read through ImageMagick (`convert FILE ppm:-`),
so any format it knows will do and nothing beyond python3 is needed.

  wine_compare.py sensors SCREEN A B [--exclude X,Y,W,H]... [--tolerance T]
                  [--min-match SHARE] [--max-other SHARE] [--min-pixels N]
                  [--mismatch-out FILE.ppm]
      The sensor pixels are those where the renders A and B (the same skin
      at two clearly different sets of values) differ by more than 2*T in
      some channel, outside the excluded rectangles. Prints which share of
      them matches A and which matches B in SCREEN (every channel within T).
      Succeeds when at least --min-pixels exist, the share matching A is at
      least --min-match and the share matching B at most --max-other. The
      2*T margin makes the two matches exclusive: no pixel counts for both.

  wine_compare.py differ X Y [--tolerance T] [--max-share SHARE]
      Prints the share of pixels of X and Y (same size) that differ by more
      than T in some channel; succeeds when it is at most --max-share.

  wine_compare.py keyhole SCREEN RENDER --key RRGGBB --root RRGGBB
                  [--box N] [--tolerance T]
      SCREEN: the window's area on screen; RENDER: the skin drawn off-screen.
      In the N x N box at each corner, every pixel that the skin draws in
      the key colour must show the root window's colour on screen, and every
      other pixel there the skin's own colour. Prints the counts; succeeds
      when both hold everywhere and each kind occurs.

  wine_compare.py rects SKIN.cfg CLASS...
      Prints "NAME CLASS X Y W H" for each child of the skin's form whose
      class is one of CLASS and which has all four of Left, Top, Width and
      Height.

Exit status: 0 when the check holds, 1 when it does not, 2 for a usage or
reading error.
"""

import argparse
import re
import subprocess
import sys


def die(message):
    print(f"wine_compare: {message}", file=sys.stderr)
    sys.exit(2)


class Picture:
    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data  # R, G, B bytes, row after row

    def rgb(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.data[at : at + 3])


def read_picture(path):
    try:
        raw = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "ppm:-"],
                             check=True, capture_output=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        die(f"cannot read {path}: {error}")
    # P6, width, height, maximum, each after white space; then the samples.
    fields, at = [], 0
    while len(fields) < 4:
        while raw[at : at + 1].isspace():
            at += 1
        if raw[at : at + 1] == b"#":
            at = raw.index(b"\n", at)
            continue
        start = at
        while not raw[at : at + 1].isspace():
            at += 1
        fields.append(raw[start:at])
    if fields[0] != b"P6" or fields[3] != b"255":
        die(f"{path}: unexpected picture format {fields}")
    width, height = int(fields[1]), int(fields[2])
    data = raw[at + 1 : at + 1 + 3 * width * height]
    if len(data) != 3 * width * height:
        die(f"{path}: the picture is cut short")
    return Picture(width, height, data)


def same_size(*pictures):
    first = pictures[0]
    for p in pictures[1:]:
        if (p.width, p.height) != (first.width, first.height):
            die(f"sizes differ: {first.width}x{first.height} and {p.width}x{p.height}")


def near(data1, data2, at, tolerance):
    return (abs(data1[at] - data2[at]) <= tolerance and abs(data1[at + 1] - data2[at + 1]) <= tolerance
            and abs(data1[at + 2] - data2[at + 2]) <= tolerance)


def parse_rect(text):
    parts = text.split(",")
    if len(parts) != 4:
        raise argparse.ArgumentTypeError(f"a rectangle is X,Y,W,H, not {text}")
    return tuple(int(p) for p in parts)


def parse_colour(text):
    if not re.fullmatch(r"#?[0-9a-fA-F]{6}", text):
        raise argparse.ArgumentTypeError(f"a colour is RRGGBB, not {text}")
    text = text.lstrip("#")
    return tuple(int(text[i : i + 2], 16) for i in (0, 2, 4))


def sensors(args):
    screen, a, b = (read_picture(p) for p in (args.screen, args.a, args.b))
    same_size(screen, a, b)
    excluded = bytearray(screen.width * screen.height)
    for x0, y0, w, h in args.exclude:
        for y in range(max(0, y0), min(screen.height, y0 + h)):
            for x in range(max(0, x0), min(screen.width, x0 + w)):
                excluded[y * screen.width + x] = 1
    t = args.tolerance
    pixels = match_a = match_b = 0
    mismatch = bytearray(screen.data) if args.mismatch_out else None
    for i in range(screen.width * screen.height):
        at = 3 * i
        if excluded[i] or near(a.data, b.data, at, 2 * t):
            continue
        pixels += 1
        if near(screen.data, a.data, at, t):
            match_a += 1
        else:
            if near(screen.data, b.data, at, t):
                match_b += 1
            if mismatch is not None:
                mismatch[at : at + 3] = b"\xff\x00\xff"
    if mismatch is not None:
        with open(args.mismatch_out, "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % (screen.width, screen.height))
            out.write(mismatch)
    share_a = match_a / pixels if pixels else 0.0
    share_b = match_b / pixels if pixels else 0.0
    print(f"{pixels} sensor pixels: {100 * share_a:.2f}% match the values shown, "
          f"{100 * share_b:.2f}% the other values")
    ok = pixels >= args.min_pixels and share_a >= args.min_match and share_b <= args.max_other
    if pixels < args.min_pixels:
        print(f"too few sensor pixels (fewer than {args.min_pixels}): the two value sets hardly differ")
    return 0 if ok else 1


def differ(args):
    x, y = read_picture(args.x), read_picture(args.y)
    same_size(x, y)
    count = sum(1 for i in range(x.width * x.height) if not near(x.data, y.data, 3 * i, args.tolerance))
    share = count / (x.width * x.height)
    print(f"{count} of {x.width * x.height} pixels differ ({100 * share:.3f}%)")
    return 0 if share <= args.max_share else 1


def keyhole(args):
    screen, render = read_picture(args.screen), read_picture(args.render)
    same_size(screen, render)
    n, t = args.box, args.tolerance
    close = lambda p, q: all(abs(u - v) <= t for u, v in zip(p, q))
    holes = shown = bad_holes = bad_shown = 0
    first_bad = None
    for cx, cy in ((0, 0), (screen.width - n, 0), (0, screen.height - n), (screen.width - n, screen.height - n)):
        for y in range(cy, cy + n):
            for x in range(cx, cx + n):
                drawn, seen = render.rgb(x, y), screen.rgb(x, y)
                if drawn == args.key:
                    holes += 1
                    if not close(seen, args.root):
                        bad_holes += 1
                        first_bad = first_bad or (x, y, "hole", drawn, seen)
                else:
                    shown += 1
                    if not close(seen, drawn):
                        bad_shown += 1
                        first_bad = first_bad or (x, y, "panel", drawn, seen)
    print(f"corners: {holes - bad_holes} of {holes} key-colour pixels show the root window, "
          f"{shown - bad_shown} of {shown} other pixels show the skin")
    if first_bad:
        x, y, kind, drawn, seen = first_bad
        print(f"first wrong {kind} pixel at {x},{y}: skin {drawn}, screen {seen}")
    return 0 if holes and shown and not bad_holes and not bad_shown else 1


def rects(args):
    wanted = set(args.classes)
    depth = 0
    current = None  # [name, class, properties] of a child of the form
    for line in open(args.cfg, encoding="latin-1"):
        words = line.split()
        if not words:
            continue
        if words[0] in ("object", "inherited", "inline"):
            depth += 1
            if depth == 2:
                name, _, cls = line.strip().split(None, 1)[1].partition(":")
                current = [name.strip(), cls.strip(), {}]
        elif words[0] == "end" and len(words) == 1:
            if depth == 2 and current:
                name, cls, props = current
                if cls in wanted and all(k in props for k in ("Left", "Top", "Width", "Height")):
                    print(name, cls, props["Left"], props["Top"], props["Width"], props["Height"])
                current = None
            depth -= 1
        elif depth == 2 and current and len(words) == 3 and words[1] == "=" and re.fullmatch(r"-?\d+", words[2]):
            current[2][words[0]] = int(words[2])
    return 0


def main():
    parser = argparse.ArgumentParser(description="Pixel comparisons for wine_e2e.sh")
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("sensors")
    p.add_argument("screen")
    p.add_argument("a")
    p.add_argument("b")
    p.add_argument("--exclude", type=parse_rect, action="append", default=[])
    p.add_argument("--tolerance", type=int, default=4)
    p.add_argument("--min-match", type=float, default=0.98)
    p.add_argument("--max-other", type=float, default=0.5)
    p.add_argument("--min-pixels", type=int, default=1000)
    p.add_argument("--mismatch-out")
    p.set_defaults(run=sensors)
    p = commands.add_parser("differ")
    p.add_argument("x")
    p.add_argument("y")
    p.add_argument("--tolerance", type=int, default=0)
    p.add_argument("--max-share", type=float, default=1.0)
    p.set_defaults(run=differ)
    p = commands.add_parser("keyhole")
    p.add_argument("screen")
    p.add_argument("render")
    p.add_argument("--key", type=parse_colour, required=True)
    p.add_argument("--root", type=parse_colour, required=True)
    p.add_argument("--box", type=int, default=12)
    p.add_argument("--tolerance", type=int, default=4)
    p.set_defaults(run=keyhole)
    p = commands.add_parser("rects")
    p.add_argument("cfg")
    p.add_argument("classes", nargs="+")
    p.set_defaults(run=rects)
    args = parser.parse_args()
    sys.exit(args.run(args))


if __name__ == "__main__":
    main()

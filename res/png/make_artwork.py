#!/usr/bin/python3
"""Draws the launcher's PNG artwork into this folder.

The pictures are our own: a deep navy and steel naval look with a warm amber
accent, soft shadows and anti-aliased rounded shapes, transparent outside the
frames. Every shape is drawn at SS times the final size and scaled down, which
gives smooth edges. Run with Debian's Python and PIL (python3-pil):

    /usr/bin/python3 res/png/make_artwork.py

The CJK title text uses Debian's fonts-wqy-microhei. The output is committed;
the build only compiles the PNGs into the executable (res/ui.rc2).

Sizes (pixels) and where each picture is used:
  130/131 close 28x28, 132/133 minimise 34x40 (foreground buttons 1008, 1007)
  137 main background 987x388, 138 message-box frame 366x184
  139/149 accent and 140/150 steel buttons 130x36
  141 progress fill and 143 progress track 398x4
  1015 chat-group button 105x33 (foreground button 1014)
"""
import math
import os

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor
FONT_PATHS = [
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
]

# Palette.
NAVY_DEEP = (7, 17, 33)
NAVY = (13, 31, 56)
NAVY_MID = (22, 48, 82)
STEEL_DARK = (38, 54, 72)
STEEL = (92, 113, 134)
STEEL_LIGHT = (168, 186, 204)
STEEL_SHINE = (222, 232, 242)
AMBER_LIGHT = (255, 205, 112)
AMBER = (240, 160, 56)
AMBER_DEEP = (196, 104, 28)
GOLD = (255, 214, 130)
ICE = (206, 236, 255)


def font(size):
    for path in FONT_PATHS:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return None


def lerp(a, b, t):
    return a + (b - a) * t


def lerp_color(c1, c2, t):
    return tuple(int(round(lerp(x, y, t))) for x, y in zip(c1, c2))


def gradient(size, stops, horizontal=False):
    """An RGBA image filled with a linear gradient through (position, colour) stops."""
    w, h = size
    length = w if horizontal else h
    line = Image.new("RGBA", (length, 1))
    px = line.load()
    for i in range(length):
        t = i / max(1, length - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                u = 0 if p1 == p0 else (t - p0) / (p1 - p0)
                c = lerp_color(c0 + (255,) * (4 - len(c0)), c1 + (255,) * (4 - len(c1)), u)
                px[i, 0] = c
                break
    if horizontal:
        return line.resize((w, h), Image.NEAREST)
    return line.transpose(Image.ROTATE_270).transpose(Image.FLIP_LEFT_RIGHT).resize((w, h), Image.NEAREST)


def rounded_mask(size, box, radius):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(box, radius=radius, fill=255)
    return mask


def paste_masked(base, layer, mask):
    """Composites layer over base where mask is set (mask scales layer's alpha)."""
    layer = layer.copy()
    alpha = ImageChops.multiply(layer.getchannel("A"), mask)
    layer.putalpha(alpha)
    base.alpha_composite(layer)


def shadow(size, mask, blur, opacity, offset=(0, 0)):
    """A soft black shadow of mask."""
    sh = Image.new("RGBA", size, (0, 0, 0, 0))
    a = mask.point(lambda v: int(v * opacity))
    a = ImageChops.offset(a, offset[0], offset[1])
    sh.putalpha(a.filter(ImageFilter.GaussianBlur(blur)))
    return sh


def down(img, size):
    return img.resize(size, Image.LANCZOS)


def make_opaque(img, box):
    """Sets full alpha inside box (x0, y0, x1, y1): parts that a plain window
    shows as its backdrop must not blend with anything (the scaling filter
    softens the rows at a shape's edge)."""
    alpha = img.getchannel("A")
    ImageDraw.Draw(alpha).rectangle(box, fill=255)
    img.putalpha(alpha)
    return img


def save(img, name):
    path = os.path.join(HERE, name)
    img.save(path, optimize=True)
    print("wrote", name, img.size)


def text_layer(size, xy, text, fnt, fill, anchor="la", glow=None, stroke=0, stroke_fill=None):
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    if glow:
        g = Image.new("RGBA", size, (0, 0, 0, 0))
        ImageDraw.Draw(g).text(xy, text, font=fnt, fill=glow[0], anchor=anchor)
        layer.alpha_composite(g.filter(ImageFilter.GaussianBlur(glow[1])))
        d = ImageDraw.Draw(layer)
    d.text(xy, text, font=fnt, fill=fill, anchor=anchor, stroke_width=stroke, stroke_fill=stroke_fill)
    return layer


# --------------------------------------------------------------------------
# Buttons 130 x 36 (shown stretched to 137 x 47 designed pixels in the box).

def pill_button(top, bottom, border, highlight, glow=None, size=(130, 36)):
    w, h = size[0] * SS, size[1] * SS
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    r = 9 * SS
    inset = 1 * SS
    body = (inset, inset, w - inset - 1, h - inset - 1)
    if glow:
        g = shadow((w, h), rounded_mask((w, h), body, r), 2 * SS, 1.0)
        tint = Image.new("RGBA", (w, h), glow + (0,))
        tint.putalpha(g.getchannel("A").point(lambda v: int(v * 0.55)))
        img.alpha_composite(tint)
    outer = rounded_mask((w, h), body, r)
    img.alpha_composite(Image.composite(Image.new("RGBA", (w, h), border + (255,)),
                                        Image.new("RGBA", (w, h), (0, 0, 0, 0)), outer))
    inner_box = (body[0] + SS, body[1] + SS, body[2] - SS, body[3] - SS)
    inner = rounded_mask((w, h), inner_box, r - SS)
    fill = gradient((w, h), [(0.0, top), (0.55, lerp_color(top, bottom, 0.6)), (1.0, bottom)])
    paste_masked(img, fill, inner)
    # Glassy top half and a fine top highlight line.
    gloss = gradient((w, h), [(0.0, (255, 255, 255, 80)), (0.48, (255, 255, 255, 18)),
                              (0.5, (255, 255, 255, 0)), (1.0, (255, 255, 255, 0))])
    paste_masked(img, gloss, inner)
    line = Image.new("L", (w, h), 0)
    ImageDraw.Draw(line).rounded_rectangle(inner_box, radius=r - SS, outline=255, width=SS)
    top_only = gradient((w, h), [(0.0, highlight + (170,)), (0.35, highlight + (40,)), (1.0, highlight + (0,))])
    paste_masked(img, top_only, line)
    return down(img, size)


def make_buttons():
    save(pill_button((236, 160, 62), (178, 86, 22), (92, 44, 10), (255, 228, 170)), "139_button_accent.png")
    save(pill_button((255, 190, 92), (214, 112, 34), (110, 54, 12), (255, 240, 200), glow=(255, 200, 110)),
         "149_button_accent_hover.png")
    save(pill_button((96, 124, 152), (38, 58, 82), (16, 28, 42), (210, 228, 245)), "140_button_steel.png")
    save(pill_button((126, 156, 186), (52, 78, 106), (20, 34, 50), (230, 242, 255), glow=(150, 200, 255)),
         "150_button_steel_hover.png")


# --------------------------------------------------------------------------
# Progress bar fill and track, 398 x 4.

def make_progress():
    w, h = 398, 4
    fill = gradient((w, h), [(0.0, (214, 110, 30)), (0.55, (246, 166, 58)), (1.0, (255, 214, 120))],
                    horizontal=True)
    shade = [(255, 255, 255, 110), (255, 255, 255, 30), (0, 0, 0, 0), (0, 0, 0, 60)]
    px = fill.load()
    for y in range(h):
        r, g, b, a = shade[y]
        for x in range(w):
            c = px[x, y]
            if r:
                px[x, y] = tuple(int(lerp(c[i], 255, a / 255)) for i in range(3)) + (255,)
            else:
                px[x, y] = tuple(int(lerp(c[i], 0, a / 255)) for i in range(3)) + (255,)
    save(fill, "141_progress_bar.png")

    track = Image.new("RGBA", (w, h))
    rows = [(4, 10, 20), (9, 20, 36), (12, 26, 44), (48, 70, 96)]
    d = ImageDraw.Draw(track)
    for y, c in enumerate(rows):
        d.line([(0, y), (w - 1, y)], fill=c + (255,))
    save(track, "143_progress_track.png")


# --------------------------------------------------------------------------
# Close and minimise buttons.

def round_icon(size, center, radius, top, bottom, ring, glyph, glyph_color, glow=None):
    w, h = size[0] * SS, size[1] * SS
    cx, cy, r = center[0] * SS, center[1] * SS, radius * SS
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    disc = Image.new("L", (w, h), 0)
    ImageDraw.Draw(disc).ellipse((cx - r, cy - r, cx + r, cy + r), fill=255)
    if glow:
        g = Image.new("RGBA", (w, h), glow + (0,))
        g.putalpha(disc.filter(ImageFilter.GaussianBlur(2 * SS)).point(lambda v: int(v * 0.6)))
        img.alpha_composite(g)
    img.alpha_composite(Image.composite(Image.new("RGBA", (w, h), ring + (255,)),
                                        Image.new("RGBA", (w, h), (0, 0, 0, 0)), disc))
    inner = Image.new("L", (w, h), 0)
    ri = r - int(1.5 * SS)
    ImageDraw.Draw(inner).ellipse((cx - ri, cy - ri, cx + ri, cy + ri), fill=255)
    paste_masked(img, gradient((w, h), [(0.0, top), (1.0, bottom)]), inner)
    gloss = gradient((w, h), [(0.0, (255, 255, 255, 70)), (0.5, (255, 255, 255, 0)), (1.0, (255, 255, 255, 0))])
    paste_masked(img, gloss, inner)
    d = ImageDraw.Draw(img)
    s = 5.2 * SS
    width = int(2.2 * SS)
    if glyph == "x":
        d.line([(cx - s, cy - s), (cx + s, cy + s)], fill=glyph_color, width=width)
        d.line([(cx - s, cy + s), (cx + s, cy - s)], fill=glyph_color, width=width)
    else:
        d.rounded_rectangle((cx - s - SS, cy - width / 2, cx + s + SS, cy + width / 2), radius=width / 2,
                            fill=glyph_color)
    return down(img, size)


def make_window_buttons():
    save(round_icon((28, 28), (14, 14), 12.5, (58, 78, 102), (24, 38, 58), (120, 146, 172), "x",
                    (232, 240, 248, 255)), "130_close.png")
    save(round_icon((28, 28), (14, 14), 12.5, (236, 104, 72), (168, 44, 30), (255, 176, 150), "x",
                    (255, 255, 255, 255), glow=(255, 120, 80)), "131_close_hover.png")
    # 34 x 40: the circle sits level with the close button (centre 121 on the background).
    save(round_icon((34, 40), (17, 17), 12.5, (58, 78, 102), (24, 38, 58), (120, 146, 172), "-",
                    (232, 240, 248, 255)), "132_minimize.png")
    save(round_icon((34, 40), (17, 17), 12.5, (96, 136, 176), (40, 70, 106), (180, 210, 240), "-",
                    (255, 255, 255, 255), glow=(140, 200, 255)), "133_minimize_hover.png")


# --------------------------------------------------------------------------
# Chat-group button 105 x 33 (same picture for normal and hover).

def make_chat_button():
    size = (105, 33)
    w, h = size[0] * SS, size[1] * SS
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    body = (SS, SS, w - SS - 1, h - SS - 1)
    r = 15 * SS
    outer = rounded_mask((w, h), body, r)
    img.alpha_composite(Image.composite(Image.new("RGBA", (w, h), (14, 40, 60, 255)),
                                        Image.new("RGBA", (w, h), (0, 0, 0, 0)), outer))
    inner_box = (body[0] + SS, body[1] + SS, body[2] - SS, body[3] - SS)
    inner = rounded_mask((w, h), inner_box, r - SS)
    paste_masked(img, gradient((w, h), [(0.0, (44, 150, 178)), (1.0, (18, 84, 116))]), inner)
    paste_masked(img, gradient((w, h), [(0.0, (255, 255, 255, 70)), (0.5, (255, 255, 255, 10)),
                                        (0.52, (255, 255, 255, 0)), (1.0, (255, 255, 255, 0))]), inner)
    d = ImageDraw.Draw(img)
    # A speech bubble.
    bx, by = 10 * SS, 9 * SS
    d.rounded_rectangle((bx, by, bx + 17 * SS, by + 12 * SS), radius=4 * SS, fill=(255, 255, 255, 240))
    d.polygon([(bx + 4 * SS, by + 11 * SS), (bx + 3 * SS, by + 16 * SS), (bx + 9 * SS, by + 11 * SS)],
              fill=(255, 255, 255, 240))
    for i in range(3):
        x = bx + (4.5 + i * 4) * SS
        d.ellipse((x - 1.2 * SS, by + 6 * SS - 1.2 * SS, x + 1.2 * SS, by + 6 * SS + 1.2 * SS),
                  fill=(24, 110, 146, 255))
    f = font(13 * SS)
    if f:
        img.alpha_composite(text_layer((w, h), (33 * SS, h / 2), "玩家交流群", f, (255, 255, 255, 255),
                                       anchor="lm", glow=((0, 30, 50, 200), 2 * SS)))
    save(down(img, size), "1015_chat_group.png")


# --------------------------------------------------------------------------
# Message-box frame 366 x 184; the content window lies on 20, 18, 326 x 148.

def rivet(d, cx, cy, r):
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(28, 40, 54, 255))
    d.ellipse((cx - r + SS, cy - r + SS, cx + r - SS, cy + r - SS), fill=(150, 170, 190, 255))
    d.ellipse((cx - r / 2.5, cy - r / 1.6, cx + r / 6, cy - r / 6), fill=(235, 242, 250, 200))


def make_frame():
    size = (366, 184)
    w, h = size[0] * SS, size[1] * SS
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    body = (6 * SS, 4 * SS, w - 6 * SS - 1, h - 6 * SS - 1)
    r = 14 * SS
    body_mask = rounded_mask((w, h), body, r)
    img.alpha_composite(shadow((w, h), body_mask, 3 * SS, 0.55, offset=(0, 2 * SS)))
    # Steel rim.
    rim = gradient((w, h), [(0.0, STEEL_SHINE), (0.12, STEEL_LIGHT), (0.5, STEEL), (0.9, STEEL_DARK),
                            (1.0, (30, 42, 56))])
    dark_edge = Image.new("RGBA", (w, h), (14, 22, 32, 255))
    paste_masked(img, dark_edge, body_mask)
    rim_box = (body[0] + SS, body[1] + SS, body[2] - SS, body[3] - SS)
    paste_masked(img, rim, rounded_mask((w, h), rim_box, r - SS))
    # Inner bevel (dark line) around the content area.
    content = (20 * SS, 18 * SS, (20 + 326) * SS - 1, (18 + 148) * SS - 1)
    bevel = (content[0] - 2 * SS, content[1] - 2 * SS, content[2] + 2 * SS, content[3] + 2 * SS)
    paste_masked(img, Image.new("RGBA", (w, h), (10, 18, 30, 255)), rounded_mask((w, h), bevel, 6 * SS))
    bevel_light = Image.new("L", (w, h), 0)
    ImageDraw.Draw(bevel_light).rounded_rectangle(bevel, radius=6 * SS, outline=255, width=SS)
    paste_masked(img, gradient((w, h), [(0.0, (0, 0, 0, 0)), (0.85, (0, 0, 0, 0)), (1.0, (230, 240, 250, 160))]),
                 bevel_light)
    # The content panel: deep navy with a glow from the top and a faint swell at the bottom.
    panel = gradient((w, h), [(0.0, (30, 62, 100)), (0.12, (22, 48, 82)), (0.6, NAVY), (1.0, NAVY_DEEP)])
    panel_mask = rounded_mask((w, h), content, 4 * SS)
    paste_masked(img, panel, panel_mask)
    glow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(glow).ellipse((w * 0.18, -h * 0.35, w * 0.82, h * 0.32), fill=(90, 150, 210, 70))
    paste_masked(img, glow.filter(ImageFilter.GaussianBlur(14 * SS)), panel_mask)
    waves = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    dw = ImageDraw.Draw(waves)
    for k, (yy, amp, alpha) in enumerate([(150, 3.0, 36), (156, 2.4, 28), (161, 2.0, 22)]):
        pts = []
        for x in range(content[0], content[2], SS):
            pts.append((x, yy * SS + amp * SS * math.sin(x / (SS * (17 + 4 * k)) + k)))
        dw.line(pts, fill=(150, 200, 240, alpha), width=SS)
    paste_masked(img, waves, panel_mask)
    # A separator above the buttons and a gold accent line under the top edge.
    d = ImageDraw.Draw(img)
    sep_y = 103 * SS
    sep = gradient((w, h), [(0.0, (120, 170, 220, 0)), (0.5, (120, 170, 220, 90)), (1.0, (120, 170, 220, 0))],
                   horizontal=True)
    line = Image.new("L", (w, h), 0)
    ImageDraw.Draw(line).line([(40 * SS, sep_y), (w - 40 * SS, sep_y)], fill=255, width=SS)
    paste_masked(img, sep, line)
    accent = gradient((w, h), [(0.0, AMBER + (0,)), (0.5, GOLD + (230,)), (1.0, AMBER + (0,))], horizontal=True)
    line = Image.new("L", (w, h), 0)
    ImageDraw.Draw(line).line([(70 * SS, 19 * SS), (w - 70 * SS, 19 * SS)], fill=255, width=int(1.5 * SS))
    paste_masked(img, accent, line)
    # Rivets in the rim's corners.
    for cx, cy in [(13, 11), (353, 11), (13, 171), (353, 171)]:
        rivet(d, cx * SS, cy * SS, 3 * SS)
    # The content window (20, 18, 326 x 148) shows this part as its backdrop.
    save(make_opaque(down(img, size), (20, 18, 20 + 326 - 1, 18 + 148 - 1)), "138_messagebox_frame.png")


# --------------------------------------------------------------------------
# Main background 987 x 388. The foreground window covers x 200..987 and shows
# only the band y 103..350, so that part is fully opaque; the helm wheel on the
# left reaches above and below the band.

def helm_wheel(size, cx, cy, ring_r, spoke_r, knob_r):
    w, h = size
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    wood = (74, 92, 112)
    for i in range(8):
        a = math.radians(22.5 + 45 * i)
        x1, y1 = cx + math.cos(a) * ring_r * 0.3, cy + math.sin(a) * ring_r * 0.3
        x2, y2 = cx + math.cos(a) * spoke_r, cy + math.sin(a) * spoke_r
        d.line([(x1, y1), (x2, y2)], fill=wood + (255,), width=int(9 * SS))
        kx, ky = cx + math.cos(a) * (spoke_r + knob_r * 0.6), cy + math.sin(a) * (spoke_r + knob_r * 0.6)
        d.ellipse((kx - knob_r, ky - knob_r * 1.0, kx + knob_r, ky + knob_r), fill=wood + (255,))
    ring = Image.new("L", size, 0)
    dr = ImageDraw.Draw(ring)
    dr.ellipse((cx - ring_r, cy - ring_r, cx + ring_r, cy + ring_r), fill=255)
    ri = ring_r - 16 * SS
    dr.ellipse((cx - ri, cy - ri, cx + ri, cy + ri), fill=0)
    img.alpha_composite(Image.composite(Image.new("RGBA", size, wood + (255,)), Image.new("RGBA", size, (0, 0, 0, 0)),
                                        ring))
    # Steel shading: light from the top left.
    shade = gradient(size, [(0.0, (255, 255, 255, 120)), (0.45, (255, 255, 255, 0)), (0.55, (0, 0, 0, 0)),
                            (1.0, (0, 0, 0, 110))])
    paste_masked(img, shade, img.getchannel("A"))
    return img


def make_background():
    size = (987, 388)
    w, h = size[0] * SS, size[1] * SS
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    band_top, band_bottom = 103 * SS, 350 * SS
    panel_left = 36 * SS
    # Panel shape: rounded on the left, square where the foreground lies (x >= 200).
    panel_mask = Image.new("L", (w, h), 0)
    dp = ImageDraw.Draw(panel_mask)
    dp.rounded_rectangle((panel_left, band_top, 260 * SS, band_bottom - 1), radius=18 * SS, fill=255)
    dp.rectangle((200 * SS, band_top, w - 1, band_bottom - 1), fill=255)
    img.alpha_composite(shadow((w, h), panel_mask, 6 * SS, 0.6, offset=(0, 4 * SS)))

    # Sky: night navy to a warm glow at the horizon.
    horizon = 252 * SS
    sky = gradient((w, h), [(0.0, NAVY_DEEP), (band_top / h, (10, 24, 46)), (0.45, (22, 50, 86)),
                            (horizon / h - 0.02, (70, 92, 120)), (horizon / h, (196, 132, 78)),
                            (horizon / h + 0.005, (28, 56, 88)), (0.78, (14, 34, 60)), (1.0, NAVY_DEEP)])
    scene = sky.copy()
    # Sun glow low on the horizon, behind the fleet.
    glow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(glow).ellipse((560 * SS, 200 * SS, 860 * SS, 300 * SS), fill=(255, 170, 90, 150))
    scene.alpha_composite(glow.filter(ImageFilter.GaussianBlur(26 * SS)))
    # Stars.
    ds = ImageDraw.Draw(scene)
    seed = 7
    for i in range(90):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = 200 + seed % 780
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = 108 + seed % 110
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        a = 50 + seed % 140
        rr = (0.5 + (seed % 3) * 0.35) * SS
        ds.ellipse((x * SS - rr, y * SS - rr, x * SS + rr, y * SS + rr), fill=(220, 236, 255, a))
    # Sea: wave lines catching the glow.
    sea = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    dsea = ImageDraw.Draw(sea)
    for k in range(14):
        yy = horizon + (4 + k * k * 0.42 + k * 2.2) * SS
        amp = (0.6 + k * 0.25) * SS
        alpha = max(18, 90 - k * 5)
        pts = [(x, yy + amp * math.sin(x / (SS * (9 + k * 2.5)) + k * 1.7)) for x in range(0, w, SS)]
        col = (255, 190, 120, alpha) if k < 5 else (130, 180, 225, alpha // 2 + 10)
        dsea.line(pts, fill=col, width=max(SS, int(SS * (0.6 + k * 0.12))))
    scene.alpha_composite(sea)
    # The fleet on the horizon: a battleship, two escorts.
    fleet = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    df = ImageDraw.Draw(fleet)
    silhouette = (9, 18, 32, 255)

    def ship(x0, length, scale_h):
        """A warship in profile, bow to the right: sheer hull, stepped bridge,
        raked funnel, tripod mast and turrets with their guns."""
        y = horizon
        u = length / 100.0
        k = scale_h

        def P(px, py):
            return (x0 + px * u, y - py * u * k)

        hull = [P(0, 3.2), P(8, 3.6), P(30, 3.9), P(60, 4.1), P(86, 4.8), P(97, 6.6), P(101, 7.4),
                P(99, 4.0), P(95, 0.0), P(6, 0.0), P(1, 1.2)]
        df.polygon(hull, fill=silhouette)
        # Superstructure: stepped decks rising to the bridge.
        df.polygon([P(30, 3.9), P(33, 7.0), P(68, 7.0), P(71, 4.1)], fill=silhouette)
        df.polygon([P(50, 7.0), P(52, 11.0), P(66, 11.0), P(67, 7.0)], fill=silhouette)
        df.polygon([P(56, 11.0), P(57.5, 15.5), P(64.5, 15.5), P(65.5, 11.0)], fill=silhouette)
        df.polygon([P(58.5, 15.5), P(59.5, 18.0), P(63.5, 18.0), P(64, 15.5)], fill=silhouette)
        # Raked funnel.
        df.polygon([P(41, 7.0), P(43, 14.5), P(48.5, 14.5), P(48, 7.0)], fill=silhouette)
        # Tripod mast with a yard, and a short aft mast.
        df.line([P(61, 18.0), P(61.8, 30.0)], fill=silhouette, width=max(SS, int(1.1 * u)))
        df.line([P(59.5, 18.0), P(61.6, 27.0)], fill=silhouette, width=max(SS, int(0.7 * u)))
        df.line([P(58.5, 24.5), P(65, 24.5)], fill=silhouette, width=max(SS, int(0.6 * u)))
        df.line([P(36, 7.0), P(36.4, 17.0)], fill=silhouette, width=max(SS, int(0.8 * u)))
        # Turrets (two forward, two aft) with their barrels.
        for tx, facing, deck in ((76, 1, 4.6), (84, 1, 5.2), (22, -1, 3.9), (14, -1, 3.7)):
            df.polygon([P(tx - 3.6, deck), P(tx - 3.0, deck + 2.6), P(tx + 3.0, deck + 2.6), P(tx + 3.6, deck)],
                       fill=silhouette)
            df.line([P(tx + facing * 2.5, deck + 1.5), P(tx + facing * 10.5, deck + 2.2)], fill=silhouette,
                    width=max(SS, int(0.9 * u)))

    ship(600 * SS, 250 * SS, 1.0)
    ship(475 * SS, 90 * SS, 0.9)
    ship(880 * SS, 70 * SS, 0.85)
    scene.alpha_composite(fleet)
    # Rim light on the water right under the glow.
    ref = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(ref).ellipse((600 * SS, horizon + 2 * SS, 860 * SS, horizon + 26 * SS), fill=(255, 176, 96, 70))
    scene.alpha_composite(ref.filter(ImageFilter.GaussianBlur(8 * SS)))

    # Top bar (title, minimise and close) and the bottom dock (progress bar, texts).
    bars = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    db = ImageDraw.Draw(bars)
    db.rectangle((0, band_top, w, 148 * SS), fill=(4, 10, 22, 150))
    db.rectangle((0, 318 * SS, w, band_bottom), fill=(3, 8, 18, 190))
    scene.alpha_composite(bars)
    lines = ImageDraw.Draw(scene)
    lines.line([(0, 148 * SS), (w, 148 * SS)], fill=(120, 160, 200, 70), width=SS)
    accent = gradient((w, h), [(0.0, AMBER + (0,)), (0.35, GOLD + (200,)), (0.7, AMBER + (120,)),
                               (1.0, AMBER + (0,))], horizontal=True)
    accent_line = Image.new("L", (w, h), 0)
    ImageDraw.Draw(accent_line).line([(200 * SS, 318 * SS), (w, 318 * SS)], fill=255, width=SS)
    paste_masked(scene, accent, accent_line)
    # Title.
    f_title = font(30 * SS)
    f_sub = font(12 * SS)
    if f_title:
        scene.alpha_composite(text_layer((w, h), (352 * SS, 126 * SS), "霁澜舰影", f_title,
                                         (255, 224, 160, 255), anchor="lm", glow=((255, 150, 60, 120), 5 * SS),
                                         stroke=SS // 2, stroke_fill=(120, 60, 16, 255)))
    if f_sub:
        scene.alpha_composite(text_layer((w, h), (486 * SS, 130 * SS), "PC 版启动器  ·  怒海争锋", f_sub,
                                         (170, 196, 222, 230), anchor="lm"))
    # Steel frame line around the panel.
    paste_masked(img, scene, panel_mask)
    edge = Image.new("L", (w, h), 0)
    de = ImageDraw.Draw(edge)
    de.rounded_rectangle((panel_left, band_top, 260 * SS, band_bottom - 1), radius=18 * SS, outline=255,
                         width=2 * SS)
    de.rectangle((230 * SS, band_top + 2 * SS, w - 1, band_bottom - 1 - 2 * SS), fill=0)
    de.line([(230 * SS, band_top + SS), (w, band_top + SS)], fill=255, width=2 * SS)
    de.line([(230 * SS, band_bottom - 1 - SS), (w, band_bottom - 1 - SS)], fill=255, width=2 * SS)
    de.line([(w - SS, band_top), (w - SS, band_bottom)], fill=255, width=2 * SS)
    paste_masked(img, gradient((w, h), [(0.0, STEEL_SHINE), (0.3, STEEL_LIGHT), (0.7, STEEL), (1.0, STEEL_DARK)]),
                 edge)

    # The helm wheel with its medallion, on the left, over the panel's edge.
    cx, cy = 178 * SS, 214 * SS
    wheel = helm_wheel((w, h), cx, cy, 122 * SS, 150 * SS, 13 * SS)
    img.alpha_composite(shadow((w, h), wheel.getchannel("A"), 5 * SS, 0.7, offset=(3 * SS, 5 * SS)))
    img.alpha_composite(wheel)
    med_r = 92 * SS
    med_mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(med_mask).ellipse((cx - med_r, cy - med_r, cx + med_r, cy + med_r), fill=255)
    img.alpha_composite(shadow((w, h), med_mask, 4 * SS, 0.6, offset=(0, 3 * SS)))
    paste_masked(img, gradient((w, h), [(0.0, STEEL_SHINE), (0.5, STEEL), (1.0, STEEL_DARK)]), med_mask)
    inner_r = med_r - 8 * SS
    inner_mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(inner_mask).ellipse((cx - inner_r, cy - inner_r, cx + inner_r, cy + inner_r), fill=255)
    paste_masked(img, gradient((w, h), [(0.0, (36, 74, 118)), (0.5, NAVY_MID), (1.0, NAVY_DEEP)]), inner_mask)
    dm = ImageDraw.Draw(img)
    # Compass ticks.
    for i in range(32):
        a = math.radians(i * 11.25)
        r1 = inner_r - (10 if i % 4 == 0 else 5) * SS
        dm.line([(cx + math.cos(a) * r1, cy + math.sin(a) * r1),
                 (cx + math.cos(a) * (inner_r - 2 * SS), cy + math.sin(a) * (inner_r - 2 * SS))],
                fill=(150, 184, 214, 200), width=SS if i % 4 else 2 * SS)
    # Anchor in gold.
    anchor = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    da = ImageDraw.Draw(anchor)
    gold = (255, 206, 120, 255)
    stem_w = 7 * SS
    da.rectangle((cx - stem_w / 2, cy - 44 * SS, cx + stem_w / 2, cy + 38 * SS), fill=gold)
    da.ellipse((cx - 12 * SS, cy - 62 * SS, cx + 12 * SS, cy - 38 * SS), outline=gold, width=5 * SS)
    da.rounded_rectangle((cx - 28 * SS, cy - 30 * SS, cx + 28 * SS, cy - 23 * SS), radius=3 * SS, fill=gold)
    da.arc((cx - 48 * SS, cy - 20 * SS, cx + 48 * SS, cy + 48 * SS), start=20, end=160, fill=gold, width=7 * SS)
    for sx in (-1, 1):
        tip_x = cx + sx * 45 * SS
        tip_y = cy + 22 * SS
        da.polygon([(tip_x - 9 * SS, tip_y + 2 * SS), (tip_x + 9 * SS, tip_y + 2 * SS),
                    (tip_x + sx * 2 * SS, tip_y - 16 * SS)], fill=gold)
    da.polygon([(cx - 11 * SS, cy + 36 * SS), (cx + 11 * SS, cy + 36 * SS), (cx, cy + 50 * SS)], fill=gold)
    shade = gradient((w, h), [(0.0, (255, 255, 255, 90)), (0.5, (255, 255, 255, 0)), (0.52, (0, 0, 0, 0)),
                              (1.0, (120, 50, 0, 110))])
    a_alpha = anchor.getchannel("A")
    glow_a = Image.new("RGBA", (w, h), (255, 170, 70, 0))
    glow_a.putalpha(a_alpha.filter(ImageFilter.GaussianBlur(6 * SS)).point(lambda v: int(v * 0.5)))
    paste_masked(img, glow_a, inner_mask)
    img.alpha_composite(anchor)
    paste_masked(img, shade, a_alpha)
    # The main foreground window shows x >= 200, y 103..349 as its backdrop.
    save(make_opaque(down(img, size), (200, 103, 986, 349)), "137_main_background.png")


if __name__ == "__main__":
    make_buttons()
    make_progress()
    make_window_buttons()
    make_chat_button()
    make_frame()
    make_background()

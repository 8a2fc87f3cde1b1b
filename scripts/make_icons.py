#!/usr/bin/env python3
"""Writes the program's icon drawings (SVG) and the list of PNGs rendered from
them at build time (resources/icons.txt: svg;png;width;height). Run after changing a drawing."""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources')
SVG = os.path.join(ROOT, 'svg')
FACTORS = [10, 12, 14, 16, 18, 20]
entries = []  # (svg, out, w, h)


def svg(name, body, w=100, h=100):
    with open(os.path.join(SVG, name + '.svg'), 'w') as f:
        f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n{body}\n</svg>\n')
    return name + '.svg'


def sized(src, out_pattern, w, h):
    """One PNG per size factor: out_pattern with %1 replaced by the factor."""
    for f in FACTORS:
        entries.append((src, out_pattern.replace('%1', str(f)), max(1, round(w * f / 10)), max(1, round(h * f / 10))))


def single(src, out, w, h):
    entries.append((src, out, w, h))


BTN = '<rect x="4" y="4" width="92" height="92" rx="14" fill="#3a3f47"/>'
STROKE = 'stroke="#f2f2f2" stroke-width="8" fill="none" stroke-linecap="round" stroke-linejoin="round"'

# Frames and backgrounds used by the shared style sheets.
sized(svg('editBg', '<rect x="1" y="1" width="98" height="38" rx="5" fill="#ffffff" stroke="#8a8a8a" stroke-width="2"/>', 100, 40), 'res/editBg_%1.png', 40, 16)
sized(svg('dropDown', '<path d="M20 35 L50 65 L80 35" ' + STROKE.replace('#f2f2f2', '#505050') + '/>'), 'res/dropDown_%1.png', 16, 16)
sized(svg('btnBG', '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#fbfbfb"/><stop offset="1" stop-color="#d6d6d6"/></linearGradient></defs><rect x="1" y="1" width="98" height="38" rx="6" fill="url(#g)" stroke="#8a8a8a" stroke-width="2"/>', 100, 40), 'res/btnBG_%1.png', 40, 16)
sized(svg('btnBGS', '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#7fb6ff"/><stop offset="1" stop-color="#2f7de1"/></linearGradient></defs><rect x="1" y="1" width="98" height="38" rx="6" fill="url(#g)" stroke="#1d5cb0" stroke-width="2"/>', 100, 40), 'res/btnBGS_%1.png', 40, 16)
sized(svg('slider', '<rect x="0" y="6" width="100" height="8" rx="4" fill="#9a9a9a"/>', 100, 20), 'res/slider_%1.png', 40, 20)  # taller than its two slices of factor - 1
sized(svg('slider_handle', '<circle cx="50" cy="50" r="44" fill="#2f7de1" stroke="#ffffff" stroke-width="8"/>'), 'res/slider_handle_%1.png', 18, 18)
sized(svg('btnAdd', '<circle cx="50" cy="50" r="44" fill="#3a3f47"/><path d="M50 25 V75 M25 50 H75" ' + STROKE + '/>'), 'res/btnAdd_%1.png', 20, 20)
sized(svg('btnSub', '<circle cx="50" cy="50" r="44" fill="#3a3f47"/><path d="M25 50 H75" ' + STROKE + '/>'), 'res/btnSub_%1.png', 20, 20)
sized(svg('top', '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#4a5059"/><stop offset="1" stop-color="#2b2f35"/></linearGradient></defs><rect width="64" height="30" fill="url(#g)"/>', 64, 30), 'res/top_%1.png', 64, 30)
sized(svg('bottom', '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#3a3f47"/><stop offset="1" stop-color="#24272c"/></linearGradient></defs><rect width="64" height="30" fill="url(#g)"/>', 64, 30), 'res/bottom_%1.png', 64, 30)
LOGO = '<circle cx="50" cy="50" r="46" fill="#2f7de1"/><circle cx="50" cy="50" r="26" fill="none" stroke="#ffffff" stroke-width="8"/><path d="M50 10 V30 M50 70 V90 M10 50 H30 M70 50 H90" stroke="#ffffff" stroke-width="6"/>'
sized(svg('logoIcon', LOGO), 'res/logoIcon_%1.png', 23, 23)
single('logoIcon.svg', 'res/logo.png', 128, 128)
single(svg('null', ''), 'res/null.png', 4, 4)
single(svg('splitterLeft', '<rect width="6" height="100" fill="#7a7a7a"/><rect x="2" y="40" width="2" height="20" fill="#d0d0d0"/>', 6, 100), 'res/splitterLeft.png', 6, 100)
single(svg('splitterCenter', '<rect width="100" height="6" fill="#7a7a7a"/><rect x="40" y="2" width="20" height="2" fill="#d0d0d0"/>', 100, 6), 'res/splitterCenter.png', 100, 6)

# Check boxes and radio buttons.
single(svg('check_off', '<rect x="6" y="6" width="88" height="88" rx="12" fill="#ffffff" stroke="#707070" stroke-width="8"/>'), 'res/CameraForm/check_off.png', 40, 40)
single(svg('check_on', '<rect x="6" y="6" width="88" height="88" rx="12" fill="#2f7de1" stroke="#1d5cb0" stroke-width="8"/><path d="M24 52 L43 70 L77 32" ' + STROKE.replace('#f2f2f2', '#ffffff').replace('8', '12') + '/>'), 'res/CameraForm/check_on.png', 40, 40)
single(svg('radio_off', '<circle cx="50" cy="50" r="44" fill="#ffffff" stroke="#707070" stroke-width="8"/>'), 'res/CameraForm/radio_off.png', 40, 40)
single(svg('radio_on', '<circle cx="50" cy="50" r="44" fill="#ffffff" stroke="#1d5cb0" stroke-width="8"/><circle cx="50" cy="50" r="24" fill="#2f7de1"/>'), 'res/CameraForm/radio_on.png', 40, 40)

# Capture bar (50 x 50 designed) and the network share button.
capture = {
    'btnPlay': '<path d="M36 26 L76 50 L36 74 Z" fill="#f2f2f2"/>',
    'btnPause': '<path d="M38 28 V72 M62 28 V72" ' + STROKE.replace('8', '12') + '/>',
    'btnCamera': '<rect x="18" y="34" width="64" height="42" rx="7" ' + STROKE + '/><path d="M38 34 L43 24 H57 L62 34" ' + STROKE + '/><circle cx="50" cy="55" r="11" ' + STROKE + '/>',
    'btnVideo': '<rect x="16" y="34" width="46" height="34" rx="6" ' + STROKE + '/><path d="M62 46 L82 34 V68 L62 56" ' + STROKE + '/><circle cx="30" cy="24" r="6" fill="#e53935"/>',
    'btnVideoStop': '<rect x="30" y="30" width="40" height="40" rx="4" fill="#e53935"/>',
}
for name, body in capture.items():
    sized(svg('capture_' + name, BTN + body), 'res/CameraForm/' + name + '_%1.png', 50, 50)
sized(svg('btnSMB', BTN + '<path d="M20 34 H42 L48 40 H80 V72 H20 Z" ' + STROKE + '/><path d="M50 48 V64 M42 56 L50 64 L58 56" ' + STROKE.replace('8', '6') + '/>'), 'res/btnSMB_%1.png', 24, 24)

# Title-bar buttons.
title = {
    'btnMin': '<path d="M25 70 H75" ' + STROKE + '/>',
    'btnFullScreen': '<path d="M22 40 V22 H40 M60 22 H78 V40 M78 60 V78 H60 M40 78 H22 V60" ' + STROKE + '/>',
    'btnClose': '<path d="M28 28 L72 72 M72 28 L28 72" ' + STROKE + '/>',
    'btnInfo': '<circle cx="50" cy="28" r="6" fill="#f2f2f2"/><path d="M50 44 V76" ' + STROKE + '/>',
    'btnBig': '<rect x="24" y="24" width="52" height="52" ' + STROKE + '/>',
    'btnSmall': '<rect x="22" y="36" width="40" height="40" ' + STROKE + '/><path d="M38 36 V22 H78 V62 H62" ' + STROKE + '/>',
    'btnNoBorder': '<rect x="18" y="18" width="64" height="64" stroke-dasharray="10 8" ' + STROKE + '/>',
}
for name, body in title.items():
    sized(svg('title_' + name, BTN + body), 'res/MainWindow/' + name + '_%1.png', 23, 23)

# Tab buttons of the left column: a pictogram and a caption per language.
tabs = {
    'btnDevice': ('<rect x="22" y="18" width="56" height="40" rx="6" ' + STROKE + '/><circle cx="50" cy="38" r="10" fill="#f2f2f2"/>', ['设备', 'Device', '設備']),
    'btnArgs': ('<path d="M24 22 V58 M50 22 V58 M76 22 V58" ' + STROKE + '/><circle cx="24" cy="46" r="7" fill="#f2f2f2"/><circle cx="50" cy="30" r="7" fill="#f2f2f2"/><circle cx="76" cy="40" r="7" fill="#f2f2f2"/>', ['参数', 'Params', '參數']),
    'btnMeasure': ('<path d="M18 56 L82 22" ' + STROKE + '/><path d="M30 50 L26 42 M46 41 L42 33 M62 33 L58 25" ' + STROKE.replace('8', '5') + '/>', ['测量', 'Measure', '測量']),
    'btnComposite': ('<rect x="18" y="20" width="34" height="26" ' + STROKE + '/><rect x="46" y="32" width="36" height="26" ' + STROKE + '/>', ['合成', 'Compose', '合成']),
    'btnLine': ('<path d="M50 16 V62 M24 39 H76" ' + STROKE + '/><circle cx="50" cy="39" r="12" ' + STROKE.replace('8', '5') + '/>', ['线', 'Lines', '線']),
    'btnSet': ('<circle cx="50" cy="39" r="14" ' + STROKE + '/><path d="M50 14 V22 M50 56 V64 M25 39 H33 M67 39 H75" ' + STROKE + '/>', ['设置', 'Settings', '設置']),
    'btnHistory': ('<rect x="20" y="18" width="60" height="42" rx="4" ' + STROKE + '/><path d="M26 54 L42 38 L54 48 L64 40 L74 52" ' + STROKE.replace('8', '5') + '/>', ['历史', 'History', '歷史']),
}
for name, (body, captions) in tabs.items():
    for lang, cap in enumerate(captions):
        size = 13 if len(cap) > 4 else 16
        text = f'<text x="50" y="88" font-family="WenQuanYi Micro Hei" font-size="{size}" fill="#f2f2f2" text-anchor="middle">{cap}</text>'
        single(svg(f'tab_{name}_{lang}', BTN + body + text), f'res/{name}_{lang}.png', 120, 120)

# Status icons.
status = {
    'btnCamera': '<rect x="16" y="32" width="68" height="46" rx="8" fill="#e53935"/><rect x="36" y="22" width="28" height="14" rx="3" fill="#e53935"/><circle cx="50" cy="55" r="14" fill="#ffffff"/>',
    'btnAWB': '<circle cx="50" cy="50" r="40" fill="#e53935"/><text x="50" y="60" font-family="WenQuanYi Micro Hei" font-size="28" fill="#ffffff" text-anchor="middle">AWB</text>',
    'btnAE': '<circle cx="50" cy="50" r="40" fill="#e53935"/><text x="50" y="61" font-family="WenQuanYi Micro Hei" font-size="32" fill="#ffffff" text-anchor="middle">AE</text>',
    'btnVideo': '<rect x="12" y="30" width="54" height="42" rx="8" fill="#e53935"/><path d="M66 44 L88 32 V70 L66 58 Z" fill="#e53935"/>',
}
for name, body in status.items():
    single(svg('status_' + name, body), 'res/IconWidget/' + name + '.png', 80, 80)

# The stitching panel's crop pictures: three placed frames, and the part the
# export keeps (all of them, or the inside where every pixel lies in a frame).
PLACED = ('<rect x="0" y="0" width="100" height="60" fill="#202020"/>\n'
          '<rect x="6" y="8" width="40" height="26" fill="#6a8fb0" stroke="#dddddd" stroke-width="1"/>\n'
          '<rect x="38" y="20" width="40" height="26" fill="#7fa37a" stroke="#dddddd" stroke-width="1"/>\n'
          '<rect x="56" y="30" width="38" height="24" fill="#b09a6a" stroke="#dddddd" stroke-width="1"/>\n')
crops = {
    'imgOut': '<rect x="5" y="7" width="90" height="48" fill="none" stroke="#ff4040" stroke-width="2"/>',
    'imgIn': '<rect x="40" y="22" width="36" height="12" fill="none" stroke="#ff4040" stroke-width="2"/>',
}
for name, body in crops.items():
    single(svg('pinjie_' + name, PLACED + body, 100, 60), 'res/PinJieForm/' + name + '.png', 100, 60)

# Image-mode buttons of the still-image view.
snap = {
    'btnOpen': '<path d="M18 30 H42 L48 38 H82 V76 H18 Z" ' + STROKE + '/>',
    'btnSave': '<path d="M22 22 H70 L78 30 V78 H22 Z" ' + STROKE + '/><rect x="34" y="22" width="30" height="18" ' + STROKE.replace('8', '5') + '/><rect x="32" y="54" width="36" height="24" ' + STROKE.replace('8', '5') + '/>',
    'btnSaveAs': '<path d="M22 22 H62 L70 30 V52 M48 78 H22 V22" ' + STROKE + '/><path d="M56 80 L80 56 L88 64 L64 88 H56 Z" ' + STROKE.replace('8', '5') + '/>',
    'btnScaleOK': '<path d="M22 40 V22 H40 M60 22 H78 V40 M78 60 V78 H60 M40 78 H22 V60" ' + STROKE + '/><rect x="38" y="38" width="24" height="24" fill="#f2f2f2"/>',
    'btndelAll': '<path d="M26 30 H74 M42 30 V22 H58 V30 M32 30 L36 80 H64 L68 30" ' + STROKE + '/><path d="M44 42 V70 M56 42 V70" ' + STROKE.replace('8', '5') + '/>',
    'btnOverlay': '<rect x="18" y="18" width="44" height="44" ' + STROKE + '/><rect x="38" y="38" width="44" height="44" fill="#f2f2f2" fill-opacity="0.5" stroke="#f2f2f2" stroke-width="8"/>',
    'btnSwitchOverlay': '<rect x="18" y="18" width="40" height="40" ' + STROKE + '/><path d="M66 42 A24 24 0 0 1 42 80 M42 80 L52 72 M42 80 L50 90" ' + STROKE.replace('8', '6') + '/>',
}
for name, body in snap.items():
    sized(svg('snap_' + name, BTN + body), 'res/SnapOpenSave/' + name + '_%1.png', 50, 50)

# Measurement tool palette (btn_<N>), scale panel and cross-line panel icons.
DOT = lambda x, y, r=7: f'<circle cx="{x}" cy="{y}" r="{r}" fill="#f2f2f2"/>'
THIN = STROKE.replace('stroke-width="8"', 'stroke-width="5"')
DASH = THIN.replace('fill="none"', 'fill="none" stroke-dasharray="6 6"')
palette = {
    0: DOT(24, 70) + DOT(76, 30) + '<path d="M24 70 L76 30" ' + THIN + '/>',
    1: '<path d="M18 78 L82 78" ' + STROKE + '/>' + DOT(50, 26) + '<path d="M50 26 V78" ' + DASH + '/>',
    2: '<path d="M18 30 L82 22 M18 78 L82 70" ' + STROKE + '/><path d="M50 27 V74" ' + DASH + '/>',
    3: '<path d="M80 76 H22 L66 24" ' + STROKE + '/><path d="M46 76 A24 24 0 0 0 38 57" ' + THIN + '/>',
    4: '<path d="M18 72 A36 36 0 0 1 82 72" ' + STROKE + '/>' + DOT(18, 72, 6) + DOT(82, 72, 6),
    5: '<path d="M18 62 L62 18 M38 82 L82 38" ' + STROKE + '/>',
    6: '<path d="M16 30 H84 M16 70 H84" ' + STROKE + '/><path d="M50 36 V64" ' + DASH + '/>',
    7: '<path d="M30 16 V84 M70 16 V84" ' + STROKE + '/><path d="M36 50 H64" ' + DASH + '/>',
    8: '<path d="M14 74 L36 30 L58 66 L86 24" ' + STROKE + '/>',
    9: '<rect x="18" y="28" width="64" height="44" ' + STROKE + '/>',
    10: '<path d="M50 16 L84 42 L70 82 H30 L16 42 Z" ' + STROKE + '/>',
    11: '<circle cx="50" cy="50" r="32" ' + THIN + '/>' + DOT(50, 18) + DOT(22, 66) + DOT(78, 66),
    12: '<circle cx="28" cy="50" r="16" ' + THIN + '/><circle cx="72" cy="50" r="16" ' + THIN + '/><path d="M44 50 H56" ' + STROKE + '/>',
    13: '<circle cx="28" cy="50" r="16" ' + THIN + '/><circle cx="72" cy="50" r="16" ' + THIN + '/><path d="M28 50 H72" ' + DASH + '/>' + DOT(28, 50, 5) + DOT(72, 50, 5),
    14: DOT(20, 26) + '<circle cx="62" cy="60" r="24" ' + THIN + '/>' + DOT(62, 60, 5) + '<path d="M20 26 L62 60" ' + DASH + '/>',
    15: '<path d="M14 20 L50 84" ' + STROKE + '/><circle cx="70" cy="40" r="18" ' + THIN + '/>' + DOT(70, 40, 5),
    16: '<path d="M26 24 H74 M50 24 V80" ' + STROKE + '/>',
    17: '<path d="M14 80 H86" ' + STROKE + '/>' + DOT(24, 30) + DOT(50, 44) + DOT(76, 24) + '<path d="M24 30 V80 M50 44 V80 M76 24 V80" ' + DASH + '/>',
    18: '<path d="M22 28 H78 M40 28 V20 H60 V28 M30 28 L34 82 H66 L70 28 M44 40 V70 M56 40 V70" ' + THIN + '/>',
    19: '<rect x="24" y="46" width="52" height="38" rx="6" fill="#f2f2f2"/><path d="M34 46 V32 A16 16 0 0 1 66 32 V46" ' + STROKE + '/>',
    20: '<rect x="24" y="46" width="52" height="38" rx="6" fill="#f2f2f2"/><path d="M34 46 V32 A16 16 0 0 1 66 32 V24" ' + STROKE + '/>',
    21: '<path d="M14 86 L86 14 L86 86 Z" fill="#8a9099"/><circle cx="50" cy="50" r="18" ' + THIN + '/><path d="M50 20 V38 M50 62 V80 M20 50 H38 M62 50 H80" ' + THIN + '/>',
    22: '<path d="M50 20 V80 M20 50 H80" ' + STROKE + '/>',
    23: '<path d="M26 26 L74 74 M74 26 L26 74" ' + STROKE + '/>',
    24: '<path d="M50 18 L82 78 H18 Z" ' + STROKE + '/>',
    25: '<path d="M30 70 C8 56 18 20 52 20 C84 20 90 52 66 64 C52 71 40 68 34 74 C30 80 36 86 44 84" ' + THIN + '/>',
    26: '<path d="M16 34 V16 H34 M66 16 H84 V34 M84 66 V84 H66 M34 84 H16 V66" ' + THIN + '/><path d="M30 64 L46 42 L58 56 L70 46" ' + THIN + '/>',
    27: '<path d="M20 18 H72 L82 28 V82 H20 Z" ' + THIN + '/><rect x="32" y="18" width="32" height="20" fill="#f2f2f2"/><rect x="30" y="54" width="40" height="28" ' + THIN + '/>',
    28: '<circle cx="50" cy="50" r="34" ' + THIN + '/><circle cx="50" cy="50" r="20" ' + DASH + '/>' + DOT(50, 50, 5),
}
for n, body in palette.items():
    sized(svg(f'measure_btn_{n}', BTN + body), f'res/MeasureForm/btn_{n}_%1.png', 50, 50)
single(svg('measure_line', '<rect width="10" height="1" fill="#9a9a9a"/>', 10, 1), 'res/MeasureForm/line.png', 10, 1)
scale_buttons = {
    'btn_line': DOT(20, 70) + DOT(80, 30) + '<path d="M20 70 L80 30" ' + THIN + '/><path d="M20 84 H80 M20 78 V90 M80 78 V90" ' + THIN + '/>',
    'btn_parallel': '<path d="M16 30 H84 M16 70 H84" ' + STROKE + '/><path d="M50 30 V70 M42 38 L50 30 L58 38 M42 62 L50 70 L58 62" ' + THIN + '/>',
    'btn_circle': '<circle cx="50" cy="50" r="32" ' + THIN + '/><path d="M18 50 H82" ' + STROKE + '/>',
    'btn_del': '<path d="M22 28 H78 M40 28 V20 H60 V28 M30 28 L34 82 H66 L70 28" ' + THIN + '/>',
}
for name, body in scale_buttons.items():
    sized(svg('scale_' + name, BTN + body), f'res/ScaleSet/{name}_%1.png', 25 if name == 'btn_del' else 50, 25 if name == 'btn_del' else 50)
sized(svg('line_btnH', '<path d="M10 35 H90 M10 65 H90" stroke="#3a3f47" stroke-width="10"/>'), 'res/LineForm/btnH_%1.png', 23, 23)
sized(svg('line_btnV', '<path d="M35 10 V90 M65 10 V90" stroke="#3a3f47" stroke-width="10"/>'), 'res/LineForm/btnV_%1.png', 23, 23)

with open(os.path.join(ROOT, 'icons.txt'), 'w') as f:
    for s, o, w, h in entries:
        f.write(f'{s};{o};{w};{h}\n')
print(len(entries), 'icons')

#!/usr/bin/env python3
"""Writes resources/dialogs.rc, the dialog templates of every plug-in window.

Run from anywhere after a native build: python3 tools/gen_dialogs.py [--drelvant PROGRAM] [OUTPUT].
The windows' titles and the console's stage rows (caption, indent, switch and Open button ids)
come from the engine's own description, as `drelvant params --json` prints it (PROGRAM defaults
to build/native/drelvant). The console is laid out control by control; the module windows are
built from a few layout helpers (a slider column, a meter column, the ten band columns) so that
all windows share the same look.
"""

import json
import os
import subprocess
import sys

FONT = (8, "MS Sans Serif")
DOC_FONT = (10, "Lucida Console")
WINDOW_STYLE = "DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU"
WINDOW_EXSTYLE = "WS_EX_TOOLWINDOW"

BAND_HEADINGS = ["32", "64", "125", "250", "500", "1K", "2K", "4K", "8K", "16K"]
BAND_PITCH = 28          # distance between ten-band columns
COLUMN_WIDTH = 27        # width of a value label, and so of a slider column
SLIDER_WIDTH = 21
METER_WIDTH = 14
LABEL_HEIGHT = 9

# Control ids shared by the threshold rows and the ten-band equaliser: 1001, 1002, 1006, 1008 ... 1020.
THRESHOLD_SLIDERS = [1001, 1002] + [1006 + 2 * i for i in range(8)]
THRESHOLD_LABELS = [1004, 1005] + [1007 + 2 * i for i in range(8)]


def odd_run(first):
    """Ten ids first, first + 2, ... (sliders) -- the labels are the ids one above."""
    return [first + 2 * i for i in range(10)]


def rc_string(text):
    """A resource-script string; a line break in a caption becomes the escape the compiler reads."""
    return '"' + text.replace('"', '""').replace("\n", "\\n") + '"'


class Dialog:
    def __init__(self, template_id, title, width, height, font=FONT):
        self.template_id = template_id
        self.title = title
        self.width = width
        self.height = height
        self.font = font
        self.lines = []

    def add(self, line):
        self.lines.append(line)

    # ---- single controls ----
    def text(self, text, x, y, w, h, align="LTEXT", ident=-1, style=""):
        extra = (", " + style) if style else ""
        self.add(f"{align} {rc_string(text)}, {ident}, {x}, {y}, {w}, {h}{extra}")

    def group(self, text, x, y, w, h):
        self.add(f"GROUPBOX {rc_string(text)}, -1, {x}, {y}, {w}, {h}")

    def separator(self, x, y, w):
        self.add(f'CONTROL "", -1, "Static", SS_ETCHEDHORZ, {x}, {y}, {w}, 1')

    def button(self, text, ident, x, y, w, h, default=False):
        kind = "DEFPUSHBUTTON" if default else "PUSHBUTTON"
        self.add(f"{kind} {rc_string(text)}, {ident}, {x}, {y}, {w}, {h}")

    def checkbox(self, text, ident, x, y, w, h, multiline=False):
        style = ", BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP" if multiline else ""
        self.add(f"AUTOCHECKBOX {rc_string(text)}, {ident}, {x}, {y}, {w}, {h}{style}")

    def value_label(self, ident, x, y, w=COLUMN_WIDTH, h=LABEL_HEIGHT):
        self.add(f'CONTROL "", {ident}, "Static", SS_CENTER | SS_SUNKEN | SS_NOTIFY, {x}, {y}, {w}, {h}')

    def vertical_slider(self, ident, x, y, h):
        self.add(f'CONTROL "", {ident}, "msctls_trackbar32", '
                 f"TBS_VERT | TBS_AUTOTICKS | TBS_LEFT | WS_TABSTOP, {x}, {y}, {SLIDER_WIDTH}, {h}")

    def horizontal_slider(self, ident, x, y, w, h):
        self.add(f'CONTROL "", {ident}, "msctls_trackbar32", '
                 f"TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP, {x}, {y}, {w}, {h}")

    def meter(self, ident, x, y, h, w=METER_WIDTH):
        self.add(f'CONTROL "", {ident}, "msctls_progress32", PBS_VERTICAL | PBS_SMOOTH | WS_BORDER, '
                 f"{x}, {y}, {w}, {h}")

    # ---- composite columns ----
    def slider_column(self, x, y, caption, slider, label, slider_height, caption_height=8, caption_width=COLUMN_WIDTH):
        """Caption above, vertical slider, value label below; x is the left of a 27-wide column.
        A caption wider than the column is centred over it. Returns the y just below the label."""
        if caption is not None:
            self.text(caption, x - (caption_width - COLUMN_WIDTH) // 2, y, caption_width, caption_height, "CTEXT")
            y += caption_height + 1
        self.vertical_slider(slider, x + (COLUMN_WIDTH - SLIDER_WIDTH) // 2, y, slider_height)
        y += slider_height + 1
        self.value_label(label, x, y)
        return y + LABEL_HEIGHT

    def meter_column(self, x, y, caption, meter, label, meter_height, caption_height=8, column=COLUMN_WIDTH,
                     caption_width=None):
        if caption is not None:
            width = caption_width or column
            self.text(caption, x - (width - column) // 2, y, width, caption_height, "CTEXT")
            y += caption_height + 1
        self.meter(meter, x + (column - METER_WIDTH) // 2, y, meter_height)
        y += meter_height + 1
        if label:
            self.add(f'CONTROL "", {label}, "Static", SS_CENTER | SS_SUNKEN, {x}, {y}, {column}, {LABEL_HEIGHT}')
        return y + LABEL_HEIGHT

    def band_headings(self, x0, y, pitch=BAND_PITCH, width=COLUMN_WIDTH):
        for i, heading in enumerate(BAND_HEADINGS):
            self.text(heading, x0 + pitch * i, y, width, 8, "CTEXT")

    def band_slider_row(self, x0, y, caption, sliders, labels, slider_height):
        """One row of ten sliders with their labels under a left-aligned row caption."""
        self.text(caption, x0, y, 9 * BAND_PITCH + COLUMN_WIDTH, 8)
        y += 9
        for i in range(10):
            self.slider_column(x0 + BAND_PITCH * i, y, None, sliders[i], labels[i], slider_height)
        return y + slider_height + 1 + LABEL_HEIGHT

    # ---- output ----
    def render(self):
        out = [f"{self.template_id} DIALOGEX 0, 0, {self.width}, {self.height}",
               f"STYLE {WINDOW_STYLE}",
               f"EXSTYLE {WINDOW_EXSTYLE}",
               f"CAPTION {rc_string(self.title)}",
               f"FONT {self.font[0]}, {rc_string(self.font[1])}, 400, 0, 0",
               "BEGIN"]
        out += ["    " + line for line in self.lines]
        out.append("END")
        return "\n".join(out) + "\n"


# ---------------------------------------------------------------------------------------------
# 101: the console, control by control.

# Top of each released stage row of the console. A stage the table does not hold gets a row 13
# units below the one before it, and every row, gain and border below it moves down with it.
CONSOLE_ROW_Y = {
    "Highpass_Filter": 36, "Stereo_Processor": 49, "2_Band_AGC": 62, "3_Band_EQ": 75,
    "10_Band_Processor": 107, "10_Band_Dynamic_EQ": 120, "10_Band_Compressor": 133, "10_Band_Expander": 146,
    "10_Band_Limiter": 160, "10_Band_Saturator": 173, "10_Band_EQ": 186, "Final_Limiter": 200,
    "Final_Clipper": 213, "Lowpass_Filter": 226, "Quantization_Dither": 258,
}
CONSOLE_ROW_PITCH = 13

MODEL = None  # the engine's description: windows, stages, parameters


def title(template_id):
    """The caption the engine gives the window of a template."""
    for window in MODEL["windows"]:
        if window["template"] == template_id:
            return window["title"]
    raise KeyError(f"the engine has no window with template {template_id}")


def console_rows():
    """y, caption, indented, "Active" id, "Open..." id of every stage the console switches, and
    how far the rows grew below the released layout."""
    switches = {p["key"]: p["control"] for p in MODEL["parameters"] if p["window"] == "Main"}
    buttons = {w["name"]: w["open_button"] for w in MODEL["windows"]}
    rows = []
    grown = 0
    y = 0
    for stage in MODEL["stages"]:
        if stage["name"] in CONSOLE_ROW_Y:
            y = CONSOLE_ROW_Y[stage["name"]] + grown
        else:
            y += CONSOLE_ROW_PITCH
            grown += CONSOLE_ROW_PITCH
        open_button = buttons.get(stage["window"]) or None
        rows.append((y, stage["caption"], stage["indented"], switches[stage["switch"]], open_button))
    return rows, grown


def console():
    rows, grown = console_rows()
    d = Dialog(101, title(101), 339, 281 + grown)
    # left column: presets
    d.text("Presets", 6, 5, 78, 11)
    d.add("LISTBOX 1005, 6, 17, 78, 203, LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP")
    d.text("", 6, 223, 78, 11, "CTEXT", 1042, "SS_SUNKEN")
    d.button("Load", 1003, 6, 237, 37, 11)
    d.button("Save", 1004, 46, 237, 37, 11)
    d.button("Delete", 1008, 6, 250, 37, 11)
    d.button("Default", 1010, 46, 250, 37, 11)
    d.text("", 6, 264, 78, 11, "CTEXT", 1023, "SS_SUNKEN")
    # centre column: name, bypass, Advanced, then one row per stage
    d.group("Broadcast Audio Processor Console", 91, 2, 171, 273 + grown)
    d.add("EDITTEXT 1009, 97, 14, 60, 12, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP")
    d.checkbox("Bypass All", 1001, 162, 15, 48, 11)
    d.button("Advanced", 1048, 213, 14, 41, 11)
    d.separator(97, 30, 159)
    for y, caption, indented, active, open_button in rows:
        if indented:
            d.text(caption, 110, y, 68, 11)
        else:
            d.text(caption, 97, y, 82, 11)
        d.checkbox("Active", active, 181, y, 37, 11)
        if open_button is not None:
            d.button("Open...", open_button, 221, y, 33, 11)
    d.text("Density Drive dB", 97, 91, 55, 11)
    d.value_label(1049, 153, 91, 22, 11)
    d.horizontal_slider(1050, 177, 88, 82, 18)
    post_amp = 241 + grown  # between the last stage and the dither
    d.text("Post Amp dB", 97, post_amp, 50, 11)
    d.value_label(1044, 153, post_amp, 22, 11)
    d.horizontal_slider(1043, 177, post_amp - 3, 82, 18)
    # right column: meters and analysis
    d.group("Peak Levels", 270, 2, 63, 137)
    d.text("In", 280, 11, 18, 9, "CTEXT")
    d.text("Out", 306, 11, 18, 9, "CTEXT")
    d.meter(1006, 280, 21, 87, 18)
    d.meter(1007, 306, 21, 87, 18)
    d.text("", 280, 108, 18, 9, "CTEXT", 1030, "SS_SUNKEN")
    d.text("", 306, 108, 18, 9, "CTEXT", 1031, "SS_SUNKEN")
    d.text("", 280, 120, 44, 11, "CTEXT", 1047, "SS_SUNKEN")
    d.group("Analysis", 270, 142, 63, 91)
    d.button("Test Tones", 1011, 277, 155, 48, 11)
    d.button("Spectrum", 1012, 277, 168, 48, 11)
    d.button("Oscilloscope", 1013, 277, 181, 48, 11)
    d.button("Frq Resp.", 1015, 277, 194, 48, 11)
    d.button("Go To Website", 1051, 270, 238, 63, 16)
    d.button("Help / About", 1037, 270, 259, 63, 16)
    return d


# ---------------------------------------------------------------------------------------------
# Module windows.

def template_window():
    return Dialog(102, "Drelvant - Template", 186, 95)


def ten_band_eq():
    d = Dialog(103, title(103), 343, 119)
    slider_top, slider_height = 14, 75
    d.slider_column(4, 4, "Preamp", 1000, 1003, slider_height, 9)
    # scale marks beside the band sliders: the thumb centre sits about 6 units inside each end
    d.text("+24 dB", 32, slider_top + 2, 25, 8, "RTEXT")
    d.text("0 dB", 32, slider_top + slider_height // 2 - 4, 25, 8, "RTEXT")
    d.text("-24 dB", 32, slider_top + slider_height - 10, 25, 8, "RTEXT")
    x0 = 60
    d.band_headings(x0, 4)
    for i in range(10):
        d.slider_column(x0 + BAND_PITCH * i, slider_top, None, THRESHOLD_SLIDERS[i], THRESHOLD_LABELS[i],
                        slider_height)
    mute_y = slider_top + slider_height + 1 + LABEL_HEIGHT + 3
    d.text("Mute", 32, mute_y + 1, 25, 8, "RTEXT")
    for i in range(10):
        d.checkbox("", 1022 + i, x0 + BAND_PITCH * i + 9, mute_y, 10, 10)
    return d


def test_tones():
    d = Dialog(104, title(104), 72, 158)
    d.slider_column(5, 4, "Lvl (dB)", 1027, 1028, 83, caption_width=33)
    d.slider_column(40, 4, "Freq (Hz)", 1001, 1029, 83, caption_width=33)
    d.separator(4, 109, 64)
    d.checkbox("Mute Input", 1024, 8, 114, 60, 10)
    d.checkbox("Sine Wave", 1025, 8, 127, 60, 10)
    d.checkbox("White Noise", 1026, 8, 140, 60, 10)
    return d


def analysis(template_id):
    return Dialog(template_id, title(template_id), 248, 107)


def three_band_eq():
    d = Dialog(108, title(108), 190, 119)
    slider_top, slider_height = 14, 75
    d.text("+24 dB", 4, slider_top + 2, 25, 8, "RTEXT")
    d.text("0 dB", 4, slider_top + slider_height // 2 - 4, 25, 8, "RTEXT")
    d.text("-24 dB", 4, slider_top + slider_height - 10, 25, 8, "RTEXT")
    bands = [("Bass", 1001, 1004), ("Mid", 1002, 1005), ("Treble", 1006, 1007)]
    for i, (caption, slider, label) in enumerate(bands):
        d.slider_column(32 + BAND_PITCH * i, 4, caption, slider, label, slider_height, 9)
    d.text("Gain", 4, slider_top + slider_height + 1, 25, 8, "RTEXT")  # row heading of the value labels
    mute_y = slider_top + slider_height + 1 + LABEL_HEIGHT + 3
    d.text("Mute", 4, mute_y + 1, 25, 8, "RTEXT")
    for i, ident in enumerate([1022, 1023, 1024]):
        d.checkbox("", ident, 32 + BAND_PITCH * i + 9, mute_y, 10, 10)
    d.group("Crossovers", 117, 1, 69, 114)
    d.slider_column(123, 10, "L-M (Hz)", 1031, 1032, slider_height, 9)
    d.slider_column(153, 10, "M-H (Hz)", 1033, 1034, slider_height, 9)
    return d


# Windows 86 units tall: a two-line caption, a 54-tall slider and its label.
SHORT_CAPTION_HEIGHT = 16
SHORT_SLIDER_HEIGHT = 54
SHORT_TOP = 3


def short_slider(d, x, caption, slider, label):
    d.slider_column(x, SHORT_TOP, caption, slider, label, SHORT_SLIDER_HEIGHT, SHORT_CAPTION_HEIGHT)


def short_meter(d, x, caption, meter, label, column=COLUMN_WIDTH, caption_width=None):
    d.meter_column(x, SHORT_TOP, caption, meter, label, SHORT_SLIDER_HEIGHT, SHORT_CAPTION_HEIGHT, column,
                   caption_width)


def short_slider_group(d, x, heading, columns):
    """Sliders under one heading, each with a one-line caption: heading and captions take the
    height of a two-line caption, so the sliders line up with those of short_slider.
    Returns the x just right of the group."""
    d.text(heading, x, SHORT_TOP - 1, BAND_PITCH * len(columns) - 1, 8, "CTEXT")
    for caption, slider, label in columns:
        d.slider_column(x, SHORT_TOP + 8, caption, slider, label, SHORT_SLIDER_HEIGHT, 8)
        x += BAND_PITCH
    return x


SCALE_WIDTH = 8  # meter scale marks, right-aligned against the meter


def scaled_meter(d, x, caption, meter, label, marks, caption_width=None):
    """A meter column with scale marks on its left, top mark = the meter's full scale, last mark =
    0, spread evenly down the bar. Returns the column width."""
    column = SCALE_WIDTH + METER_WIDTH
    width = caption_width or column
    d.text(caption, x - (width - column) // 2, SHORT_TOP, width, SHORT_CAPTION_HEIGHT, "CTEXT")
    top = SHORT_TOP + SHORT_CAPTION_HEIGHT + 1
    d.meter(meter, x + SCALE_WIDTH, top, SHORT_SLIDER_HEIGHT)
    step = (SHORT_SLIDER_HEIGHT - 8) / (len(marks) - 1)
    for i, mark in enumerate(marks):
        d.text(mark, x, top + round(step * i), SCALE_WIDTH, 8, "RTEXT")
    d.add(f'CONTROL "", {label}, "Static", SS_CENTER | SS_SUNKEN, {x}, {top + SHORT_SLIDER_HEIGHT + 1}, '
          f"{column}, {LABEL_HEIGHT}")
    return column


def two_band_agc():
    d = Dialog(109, title(109), 393, 86)
    x = 4
    for caption, slider, label in [("Level\n(%)", 1046, 1047), ("Max\nGain dB", 1042, 1043),
                                   ("X-over\n(Hz)", 1040, 1041), ("Link\n(%)", 1048, 1049)]:
        short_slider(d, x, caption, slider, label)
        x += BAND_PITCH
    gain_marks = ["40", "20", "0"]  # band gains 0 ... 40 dB, wideband cut 0 ... 9 dB
    for caption, meter, label, marks in [("Low\nGain", 1053, 1052, gain_marks),
                                         ("High\nGain", 1056, 1057, gain_marks),
                                         ("Wide\nCut", 1062, 1063, ["9", "6", "3", "0"])]:
        x += scaled_meter(d, x, caption, meter, label, marks) + 1
    x = short_slider_group(d, x, "Low Band", [("Atk ms", 1114, 1118), ("Rel ms", 1115, 1119),
                                              ("Gain dB", 1058, 1059)])
    x = short_slider_group(d, x, "High Band", [("Atk ms", 1116, 1065), ("Rel ms", 1117, 1067),
                                               ("Gain dB", 1060, 1061)])
    d.checkbox("Single Band", 1120, x + 1, 30, 393 - x - 4, 20, multiline=True)
    return d


def column_rows(d, x0, y, rows, slider_height):
    d.band_headings(x0, y)
    y += 10
    for caption, sliders, labels in rows:
        y = d.band_slider_row(x0, y, caption, sliders, labels, slider_height) + 5
    return y


BAND_X0 = 9        # left of the first band column in the 297-wide windows
BAND_SLIDER_HEIGHT = 37


def compressor():
    d = Dialog(110, title(110), 297, 402)
    rows = [("Gain (dB)", odd_run(1085), odd_run(1086)),
            ("Ratio (x:1)", odd_run(1106), odd_run(1107)),
            ("Threshold (dB)", THRESHOLD_SLIDERS, THRESHOLD_LABELS),
            ("Lookahead (msec)", odd_run(1065), odd_run(1066)),
            ("Attack (msec)", odd_run(1025), odd_run(1026)),
            ("Release (msec)", odd_run(1045), odd_run(1046))]
    y = column_rows(d, BAND_X0, 4, rows, BAND_SLIDER_HEIGHT)
    d.checkbox("Detect Peaks rather than RMS", 1105, BAND_X0, y, 160, 10)
    return d


def processor():
    d = Dialog(111, title(111), 177, 330)
    d.checkbox("Use reverse-cascaded phase-corrected filters", 1037, 6, 4, 167, 10)
    d.checkbox("Use narrow-bandwidth filters", 1038, 6, 16, 167, 10)
    pitch, x0 = 16, 9
    d.band_headings(x0 - 1, 30, pitch, 16)
    rows = [("Compressor - Gain Reductions (0dB to -24dB)", 1054),
            ("Expander - Gain Reductions (0dB to -24dB)", 1064),
            ("Limiter - Gain Reductions (0dB to -24dB)", 1074),
            ("Multiband Clipper - Clip Levels (0dB to 12dB)", 1084)]
    y = 40
    for caption, first in rows:
        d.text(caption, 6, y, 167, 8)
        for i in range(10):
            d.meter(first + i, x0 + pitch * i, y + 10, 56)
        y += 72
    return d


def expander():
    d = Dialog(112, title(112), 297, 265)
    rows = [("Ratio (1:x)", odd_run(1085), odd_run(1086)),
            ("Threshold (dB)", THRESHOLD_SLIDERS, THRESHOLD_LABELS),
            ("Attack (msec)", odd_run(1025), odd_run(1026)),
            ("Release (msec)", odd_run(1045), odd_run(1046))]
    column_rows(d, BAND_X0, 4, rows, BAND_SLIDER_HEIGHT)
    return d


def limiter():
    d = Dialog(113, title(113), 297, 340)
    rows = [("Gain (dB)", odd_run(1085), odd_run(1086)),
            ("Threshold (dB)", THRESHOLD_SLIDERS, THRESHOLD_LABELS),
            ("Lookahead (msec)", odd_run(1065), odd_run(1066)),
            ("Attack (msec)", odd_run(1025), odd_run(1026)),
            ("Release (msec)", odd_run(1045), odd_run(1046))]
    y = column_rows(d, BAND_X0, 4, rows, BAND_SLIDER_HEIGHT)
    d.checkbox("Detect Peaks rather than RMS", 1105, BAND_X0, y, 160, 10)
    return d


def pass_filter(template_id):
    d = Dialog(template_id, title(template_id), 33, 86)
    d.text("Cutoff", 1, 2, 31, 8, "CTEXT")
    d.slider_column(3, 11, None, 1055, 1056, SHORT_SLIDER_HEIGHT)
    d.text("Hz", 1, 76, 31, 8, "CTEXT")
    return d


def final_limiter():
    d = Dialog(115, title(115), 206, 86)
    x = short_slider_group(d, 4, "Level (dB)", [("Drive", 1003, 1022), ("Thresh.", 1057, 1058)])
    x = short_slider_group(d, x, "Time (ms)", [("Ahead", 1061, 1062), ("Attack", 1063, 1064),
                                               ("Release", 1065, 1066)])
    x += scaled_meter(d, x, "Reduce\n(dB)", 1067, 1068, ["12", "8", "4", "0"], caption_width=24) + 2
    d.text("Detector", x, 22, 206 - x - 2, 8)
    d.checkbox("Peak Detect", 1105, x, 32, 206 - x - 2, 20, multiline=True)
    return d


def final_clipper():
    d = Dialog(116, title(116), 151, 86)
    short_slider(d, 4, "Drive\n(dB)", 1003, 1022)
    short_slider(d, 4 + BAND_PITCH, "Thresh.\n(dB)", 1057, 1058)
    scaled_meter(d, 6 + 2 * BAND_PITCH, "Clip\n(dB)", 1069, 1070, ["12", "8", "4", "0"])
    d.checkbox("Complex (RF) Clipping", 1106, 94, 32, 54, 20, multiline=True)
    return d


def stereo_processor():
    d = Dialog(118, title(118), 191, 86)
    short_slider(d, 4, "Amount\n(%)", 1108, 1109)
    x = short_slider_group(d, 4 + BAND_PITCH, "Detect (ms)", [("Fast", 1110, 1111), ("Slow", 1063, 1064)])
    short_slider(d, x, "Max\n(dB)", 1116, 1117)
    x += BAND_PITCH
    x += scaled_meter(d, x + 2, "Enhance\n(dB)", 1112, 1113, ["18", "12", "6", "0"], caption_width=28) + 8
    d.text("Mode", x, 26, 191 - x - 4, 8)
    d.checkbox("Mono", 1107, x, 36, 191 - x - 4, 10)
    return d


def documentation():
    d = Dialog(119, title(119), 342, 271, DOC_FONT)
    d.add("EDITTEXT 1071, 4, 4, 334, 244, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | "
          "WS_BORDER | WS_TABSTOP")
    d.text("Find:", 4, 255, 44, 10, "RTEXT")
    d.add("EDITTEXT 1072, 52, 253, 230, 13, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP")
    d.button("Go", 1073, 288, 252, 50, 15, default=True)
    return d


def saturator():
    d = Dialog(120, title(120), 297, 226)
    rows = [("Saturation Level (%)", THRESHOLD_SLIDERS, THRESHOLD_LABELS),
            ("Post Gain (dB)", odd_run(1085), odd_run(1086)),
            ("Clip Level (dB)", odd_run(1105), odd_run(1106))]
    y = column_rows(d, BAND_X0, 4, rows, BAND_SLIDER_HEIGHT) - 3
    for i in range(10):
        d.checkbox("Clip", 1125 + i, BAND_X0 + BAND_PITCH * i + 1, y, 26, 10)
    d.checkbox("10-Band Re-Filter for Harmonic Reduction (Use with Reverse Cascade Filters Only)", 1076,
               BAND_X0, y + 14, 279, 10)
    return d


def advanced():
    d = Dialog(121, title(121), 297, 189)
    d.group("Multiband Level Detector Time Constants - msec (1 to 500)", 4, 2, 289, 88)
    x0 = 9
    for i in range(10):
        d.slider_column(x0 + BAND_PITCH * i, 13, BAND_HEADINGS[i], 1085 + 2 * i, 1086 + 2 * i, 54)
    d.group("AGC Detector Time Constants", 4, 92, 140, 68)
    # scale marks beside the two AGC sliders (1 ... 500 ms, the thumb centre about 6 units inside each end)
    for mark, y in [("500", 112 + 2), ("250", 112 + BAND_SLIDER_HEIGHT // 2 - 4), ("1", 112 + BAND_SLIDER_HEIGHT - 10)]:
        d.text(mark, 8, y, 22, 8, "RTEXT")
    d.slider_column(30, 103, "Lowband", 1044, 1045, BAND_SLIDER_HEIGHT, caption_width=37)
    d.slider_column(30 + BAND_PITCH + 12, 103, "Highband", 1048, 1049, BAND_SLIDER_HEIGHT, caption_width=37)
    d.group("Final Limiter Det. Time Constant", 150, 92, 143, 68)
    d.slider_column(208, 103, "Limiter", 1059, 1060, BAND_SLIDER_HEIGHT)
    # Not a parameter (kept in the settings file, never in presets): the formats switch, and a line
    # saying what the host plays now and what becomes of it.
    d.checkbox("Process all formats (resampled to 44.1 kHz)", 1150, 8, 163, 180, 10)
    d.text("", 8, 176, 285, 9, ident=1151)
    return d


def dynamic_eq():
    d = Dialog(122, title(122), 285, 86)
    x = 4
    for caption, slider, label in [("Speed\n(ms)", 1135, 1136), ("Amount\n(%)", 1108, 1109),
                                   ("Max\n(dB)", 1116, 1117)]:
        short_slider(d, x, caption, slider, label)
        x += BAND_PITCH
    d.group("Equalization Levels (-12dB to +12dB)", x + 3, 1, 285 - x - 7, 82)
    pitch, mx = 16, x + 30
    d.text("+12", x + 7, 20, 20, 8, "RTEXT")
    d.text("0", x + 7, 46, 20, 8, "RTEXT")
    d.text("-12", x + 7, 72, 20, 8, "RTEXT")
    d.band_headings(mx - 1, 11, pitch, pitch)
    for i in range(10):
        d.meter(1137 + i, mx + pitch * i, 21, 58)
    return d


def all_dialogs():
    return [console(), template_window(), ten_band_eq(), test_tones(),
            analysis(105), analysis(106), analysis(107), three_band_eq(), two_band_agc(),
            compressor(), processor(), expander(), limiter(), pass_filter(114),
            final_limiter(), final_clipper(), pass_filter(117), stereo_processor(),
            documentation(), saturator(), advanced(), dynamic_eq()]


def main():
    global MODEL
    here = os.path.dirname(os.path.abspath(__file__))
    args = sys.argv[1:]
    program = os.path.join(here, "..", "build", "native", "drelvant")
    if len(args) >= 2 and args[0] == "--drelvant":
        program = args[1]
        args = args[2:]
    output = args[0] if args else os.path.join(here, "..", "resources", "dialogs.rc")
    if not os.access(program, os.X_OK):
        raise SystemExit(f"{program} not found: build the native preset first (or give --drelvant PROGRAM)")
    MODEL = json.loads(subprocess.run([program, "params", "--json"], check=True, capture_output=True,
                                      text=True, env=dict(os.environ, HOME="/nonexistent",
                                                          XDG_CONFIG_HOME="/nonexistent")).stdout)
    parts = ["// Dialog templates of every plug-in window; written by tools/gen_dialogs.py, edit that instead.",
             "#include <windows.h>",
             "#include <commctrl.h>",
             ""]
    for dialog in all_dialogs():
        parts.append(dialog.render())
    with open(output, "w", newline="\n") as stream:
        stream.write("\n".join(parts))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes data/english.lng: the English texts of the setup panel and the
dialogs, one line per entry of the language file, in its fixed order,
Windows-1252 with CR LF. Lines 1 to 179 are those every reader of language
files knows; the dialogs' texts follow them."""
import os

def toggle(what, key):
    return "Show or hide the %s  Hotkey: %s" % (what, key)

L = []
L += ["MS Sans Serif", "1"]
L += ["Show rank", toggle("rank", "r")]
L += ["Show start number", toggle("start number", "n")]
L += ["Show time", toggle("time", "z")]
L += ["Show preset time", toggle("preset time", "v")]
L += ["Show addressed board 1", toggle("addressed board 1", "a")]
L += ["Runner name visible", toggle("runner name", "1")]
L += ["Nation visible", toggle("nation", "2")]
L += ["Text field 3 visible", toggle("text field 3", "3")]
L += ["Logo 1 visible", "Show or hide logo 1 Hotkey: F1"]
L += ["Logo 2 visible", "Show or hide logo 2  Hotkey: F2"]
L += ["Automatic advert", "Show the advert for top ranks Hotkey: F3"]
for _ in range(3):
    L += ["Background", "Show the background instead of the border"]
L += ["Pixel offset between the digits and the separators (colon, point)",
      "Set the address",
      "Choose the serial port",
      "A character can be added at the end",
      "A character can be added at the end",
      "Precision of the display",
      "Time format",
      "Precision of the display",
      "First character of the line shown",
      "Number of characters shown"]
for _ in range(3):
    L += ["Alignment of the text", "Width of the border", "Horizontal shift of the border",
          "Vertical shift of the border"]
L += ["None"]
suffixes = ["No suffix", "Decimal point .", "Semicolon ;", "Colon :", "Exclamation mark !"]
L += suffixes + suffixes
L += ["Automatic"]
for _ in range(3):
    L += ["Left", "Centre", "Right"]
for _ in range(3):
    L += ["Alignment", "Border", "Horizontal", "Vertical"]
L += ["Text1", "Text2", "Text3", "Adr1"]
font = ["Font", "Choose the font shown"]
colour = ["Background", "Choose the background colour"]
L += font + colour          # rank
L += font + colour          # start number
L += font + colour          # time
L += font + colour          # preset time
L += ["Font", "Choose the font of the board"] + colour   # board 1
for _ in range(3):
    L += font + colour + ["Shadow colour", "Choose the shadow colour"]
L += ["Language", "Please choose a language"]
L += ["Check times", "Look at and edit the times received"]
L += ["Background colour", "Note: the background colour changes when the display is started!"]
L += ["Start", "Start the display and hide the controls, back with any key  Hotkey: F9"]
L += ["Quit", "Quit the program"]
L += ["Time table"]
L += ["Clear preset times", "Empty the row of preset times"]
L += ["OK", "Leave the time table"]
L += ["Left mouse button: move"]
L += ["Seconds mode", "Seconds mode: no colons shown"]
for n, key in ((2, "B"), (3, "C"), (4, "D")):
    L += ["Show addressed board %d" % n, toggle("addressed board %d" % n, key)]
    L += ["Set the address", "None"]
    L += ["Font", "Choose the font of the board"] + colour
    L += ["First character of the line shown", "Number of characters shown"]
L += ["Set the address", "None"]
L += ["Ask for start number", "Ask for the start number of a finish time sent without one"]
assert len(L) == 179, len(L)
L += ["Font", "Colour"]                                  # the font dialog
L += ["Start number", "Please enter the start number:"]  # the start number prompt
L += ["Double-click a cell to edit it"]                  # the time table
L += ["Left mouse button: move"]                         # the addressed boards
assert len(L) == 185, len(L)

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "english.lng")
with open(out, "wb") as f:
    for line in L:
        f.write(line.encode("cp1252") + b"\r\n")

#include "language/LanguageLines.h"

#include "common/InterfaceTexts.h"

namespace language {
namespace {

using P = Property;

// Line k of a language file is kLines[k - 1].
const Line kTable[kLines] = {
    {"", P::FontName},  // 1
    {"", P::Charset},  // 2
    {"CheckBoxR", P::Caption},  // 3
    {"CheckBoxR", P::Hint},  // 4
    {"CheckBoxN", P::Caption},  // 5
    {"CheckBoxN", P::Hint},  // 6
    {"CheckBoxZ", P::Caption},  // 7
    {"CheckBoxZ", P::Hint},  // 8
    {"Vorgabezeit_sichtbar", P::Caption},  // 9
    {"Vorgabezeit_sichtbar", P::Hint},  // 10
    {"A1_sichtbar", P::Caption},  // 11
    {"A1_sichtbar", P::Hint},  // 12
    {"Textfeld1_Sichtbar", P::Caption},  // 13
    {"Textfeld1_Sichtbar", P::Hint},  // 14
    {"Textfeld2_Sichtbar", P::Caption},  // 15
    {"Textfeld2_Sichtbar", P::Hint},  // 16
    {"Textfeld3_Sichtbar", P::Caption},  // 17
    {"Textfeld3_Sichtbar", P::Hint},  // 18
    {"Logo1_sichtbar", P::Caption},  // 19
    {"Logo1_sichtbar", P::Hint},  // 20
    {"Logo2_sichtbar", P::Caption},  // 21
    {"Logo2_sichtbar", P::Hint},  // 22
    {"Logo3_sichtbar", P::Caption},  // 23
    {"Logo3_sichtbar", P::Hint},  // 24
    {"Textfeld1_Hintergrund", P::Caption},  // 25
    {"Textfeld1_Hintergrund", P::Hint},  // 26
    {"Textfeld2_Hintergrund", P::Caption},  // 27
    {"Textfeld2_Hintergrund", P::Hint},  // 28
    {"Textfeld3_Hintergrund", P::Caption},  // 29
    {"Textfeld3_Hintergrund", P::Hint},  // 30
    {"ZeitPixelversatz", P::Hint},  // 31
    {"Adresse1", P::Hint},  // 32
    {"COM", P::Hint},  // 33
    {"RangEnde", P::Hint},  // 34
    {"NummerEnde", P::Hint},  // 35
    {"Genauigkeit", P::Hint},  // 36
    {"ZeitDarstellung", P::Hint},  // 37
    {"GenauigkeitVorgabezeit", P::Hint},  // 38
    {"A1VonZeichen", P::Hint},  // 39
    {"A1AnzZeichen", P::Hint},  // 40
    {"Textfeld1_ausrichtung", P::Hint},  // 41
    {"T1RandPixel", P::Hint},  // 42
    {"T1Pixel_H", P::Hint},  // 43
    {"T1Pixel_V", P::Hint},  // 44
    {"Textfeld2_ausrichtung", P::Hint},  // 45
    {"T2RandPixel", P::Hint},  // 46
    {"T2Pixel_H", P::Hint},  // 47
    {"T2Pixel_V", P::Hint},  // 48
    {"Textfeld3_ausrichtung", P::Hint},  // 49
    {"T3RandPixel", P::Hint},  // 50
    {"T3Pixel_H", P::Hint},  // 51
    {"T3Pixel_V", P::Hint},  // 52
    {"Adresse1", P::Entry},  // 53
    {"RangEnde", P::Entry},  // 54
    {"RangEnde", P::Entry, 1},  // 55
    {"RangEnde", P::Entry, 2},  // 56
    {"RangEnde", P::Entry, 3},  // 57
    {"RangEnde", P::Entry, 4},  // 58
    {"NummerEnde", P::Entry},  // 59
    {"NummerEnde", P::Entry, 1},  // 60
    {"NummerEnde", P::Entry, 2},  // 61
    {"NummerEnde", P::Entry, 3},  // 62
    {"NummerEnde", P::Entry, 4},  // 63
    {"ZeitDarstellung", P::Entry},  // 64
    {"Textfeld1_ausrichtung", P::Entry},  // 65
    {"Textfeld1_ausrichtung", P::Entry, 1},  // 66
    {"Textfeld1_ausrichtung", P::Entry, 2},  // 67
    {"Textfeld2_ausrichtung", P::Entry},  // 68
    {"Textfeld2_ausrichtung", P::Entry, 1},  // 69
    {"Textfeld2_ausrichtung", P::Entry, 2},  // 70
    {"Textfeld3_ausrichtung", P::Entry},  // 71
    {"Textfeld3_ausrichtung", P::Entry, 1},  // 72
    {"Textfeld3_ausrichtung", P::Entry, 2},  // 73
    {"Textfeld1_Label4", P::Caption},  // 74
    {"Textfeld1_Label1", P::Caption},  // 75
    {"Textfeld1_Label2", P::Caption},  // 76
    {"Textfeld1_Label3", P::Caption},  // 77
    {"Textfeld2_Label4", P::Caption},  // 78
    {"Textfeld2_Label1", P::Caption},  // 79
    {"Textfeld2_Label2", P::Caption},  // 80
    {"Textfeld2_Label3", P::Caption},  // 81
    {"Textfeld3_Label4", P::Caption},  // 82
    {"Textfeld3_Label1", P::Caption},  // 83
    {"Textfeld3_Label2", P::Caption},  // 84
    {"Textfeld3_Label3", P::Caption},  // 85
    {"Textfeld1_V", P::TextField, 1},  // 86
    {"Textfeld2_V", P::TextField, 2},  // 87
    {"Textfeld3_V", P::TextField, 3},  // 88
    {"TextA1", P::Caption},  // 89
    {"SchriftartRang", P::Caption},  // 90
    {"SchriftartRang", P::Hint},  // 91
    {"RangHintergrund", P::Caption},  // 92
    {"RangHintergrund", P::Hint},  // 93
    {"SchriftartNummer", P::Caption},  // 94
    {"SchriftartNummer", P::Hint},  // 95
    {"NummerHintergrund", P::Caption},  // 96
    {"NummerHintergrund", P::Hint},  // 97
    {"SchriftartZeit", P::Caption},  // 98
    {"SchriftartZeit", P::Hint},  // 99
    {"ZeitHintergrund", P::Caption},  // 100
    {"ZeitHintergrund", P::Hint},  // 101
    {"SchriftartVorgabezeit", P::Caption},  // 102
    {"SchriftartVorgabezeit", P::Hint},  // 103
    {"VorgabezeitHintergrund", P::Caption},  // 104
    {"VorgabezeitHintergrund", P::Hint},  // 105
    {"SchriftartA1", P::Caption},  // 106
    {"SchriftartA1", P::Hint},  // 107
    {"A1Hintergrund", P::Caption},  // 108
    {"A1Hintergrund", P::Hint},  // 109
    {"Textfeld1_Schriftart", P::Caption},  // 110
    {"Textfeld1_Schriftart", P::Hint},  // 111
    {"Textfeld1_Hintergrundfarbe", P::Caption},  // 112
    {"Textfeld1_Hintergrundfarbe", P::Hint},  // 113
    {"Textfeld1_Schattenfarbe", P::Caption},  // 114
    {"Textfeld1_Schattenfarbe", P::Hint},  // 115
    {"Textfeld2_Schriftart", P::Caption},  // 116
    {"Textfeld2_Schriftart", P::Hint},  // 117
    {"Textfeld2_Hintergrundfarbe", P::Caption},  // 118
    {"Textfeld2_Hintergrundfarbe", P::Hint},  // 119
    {"Textfeld2_Schattenfarbe", P::Caption},  // 120
    {"Textfeld2_Schattenfarbe", P::Hint},  // 121
    {"Textfeld3_Schriftart", P::Caption},  // 122
    {"Textfeld3_Schriftart", P::Hint},  // 123
    {"Textfeld3_Hintergrundfarbe", P::Caption},  // 124
    {"Textfeld3_Hintergrundfarbe", P::Hint},  // 125
    {"Textfeld3_Schattenfarbe", P::Caption},  // 126
    {"Textfeld3_Schattenfarbe", P::Hint},  // 127
    {"Language", P::Caption},  // 128
    {"Language", P::Hint},  // 129
    {"Time", P::Caption},  // 130
    {"Time", P::Hint},  // 131
    {"Hintergrund", P::Caption},  // 132
    {"Hintergrund", P::Hint},  // 133
    {"Start", P::Caption},  // 134
    {"Start", P::Hint},  // 135
    {"End", P::Caption},  // 136
    {"End", P::Hint},  // 137
    {"TimeControl", P::Caption},  // 138
    {"TimeControlCancel", P::Caption},  // 139
    {"TimeControlCancel", P::Hint},  // 140
    {"TimeControlOK", P::Caption},  // 141
    {"TimeControlOK", P::Hint},  // 142
    {"", P::ElementHint},  // 143
    {"SecMode", P::Caption},  // 144
    {"SecMode", P::Hint},  // 145
    {"A2_sichtbar", P::Caption},  // 146
    {"A2_sichtbar", P::Hint},  // 147
    {"Adresse2", P::Hint},  // 148
    {"Adresse2", P::Entry},  // 149
    {"SchriftartA2", P::Caption},  // 150
    {"SchriftartA2", P::Hint},  // 151
    {"A2Hintergrund", P::Caption},  // 152
    {"A2Hintergrund", P::Hint},  // 153
    {"A2VonZeichen", P::Hint},  // 154
    {"A2AnzZeichen", P::Hint},  // 155
    {"A3_sichtbar", P::Caption},  // 156
    {"A3_sichtbar", P::Hint},  // 157
    {"Adresse3", P::Hint},  // 158
    {"Adresse3", P::Entry},  // 159
    {"SchriftartA3", P::Caption},  // 160
    {"SchriftartA3", P::Hint},  // 161
    {"A3Hintergrund", P::Caption},  // 162
    {"A3Hintergrund", P::Hint},  // 163
    {"A3VonZeichen", P::Hint},  // 164
    {"A3AnzZeichen", P::Hint},  // 165
    {"A4_sichtbar", P::Caption},  // 166
    {"A4_sichtbar", P::Hint},  // 167
    {"Adresse4", P::Hint},  // 168
    {"Adresse4", P::Entry},  // 169
    {"SchriftartA4", P::Caption},  // 170
    {"SchriftartA4", P::Hint},  // 171
    {"A4Hintergrund", P::Caption},  // 172
    {"A4Hintergrund", P::Hint},  // 173
    {"A4VonZeichen", P::Hint},  // 174
    {"A4AnzZeichen", P::Hint},  // 175
    {"AdrNummer", P::Hint},  // 176
    {"AdrNummer", P::Entry},  // 177
    {"StrNrSelfCB", P::Caption},  // 178
    {"StrNrSelfCB", P::Hint},  // 179
    {"", P::DialogText, uitext::FontDialogTitle},  // 180
    {"", P::DialogText, uitext::FontDialogColour},  // 181
    {"StartNumberForm", P::Caption},  // 182
    {"Label1", P::Caption},  // 183: the start number prompt's question
    {"TimeTable", P::Hint},  // 184
    {"", P::BoardHint},  // 185
};

} // namespace

std::span<const Line> lines() {
    return kTable;
}

} // namespace language

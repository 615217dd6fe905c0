#pragma once
#include <QChar>
#include <QString>
#include <array>

// The operator's choices the line rules read, as the window's controls hold
// them. The window pushes a new set whenever a control changes; the rules
// never look at a control.
struct BoardOptions {
    bool showTime = false;           // CheckBoxZ: the running time is shown at all
    bool showRank = false;           // CheckBoxR
    bool showPreset = false;         // Vorgabezeit_sichtbar
    bool advertForTopRanks = false;  // Logo3_sichtbar: the advert comes with a top rank
    bool secMode = false;            // SecMode
    bool askStartNumber = false;     // StrNrSelfCB
    bool wholeSurname = false;       // WholeSureName
    bool displayMode = false;        // Anzeigemodus
    bool timeAutomatic = false;      // ZeitAutomatik: "Automatisch" time format

    // AdrNummer: item index (0 "Keine", below 0 no selection) and the first
    // character of its text, which an addressed line's letter must match.
    int numberAddress = 0;
    QChar numberAddressLetter;

    struct Board {
        int address = 1;  // Adresse<n> item index: 0 "Keine", -1 no selection
        QChar letter;     // first character of the selected item's text
        int from = 1;     // 1-based position of the first byte shown
        int count = 18;
        bool operator==(const Board&) const = default;
    };
    std::array<Board, 4> boards;

    QString rankSuffix;    // RangZusatz
    QString numberSuffix;  // NummerZusatz

    bool operator==(const BoardOptions&) const = default;
};

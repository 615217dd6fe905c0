#pragma once
#include "display/TimeLayout.h"

#include <QString>
#include <array>
#include <memory>

// What the board shows, as plain values: the texts and visibility of the
// elements the line rules and the show controls decide. Published as an
// immutable copy; any thread may read one while the board goes on.
struct BoardValues {
    struct Shown {
        QString text;
        bool visible = false;
        bool operator==(const Shown&) const = default;
    };
    std::array<Shown, kTimePlaces> time;  // Zeit_Hz .. Zeit_t, left to right
    Shown rank;                           // Rang
    Shown number;                         // Nummer
    Shown preset;                         // Vorgabezeit: preset time or difference
    std::array<Shown, 3> texts;           // Textfeld1_V .. Textfeld3_V
    std::array<Shown, 4> boards;          // TextA1 .. TextA4
    bool advert = false;                  // Logo3, the advertising picture

    bool operator==(const BoardValues&) const = default;
};

using BoardValuesPtr = std::shared_ptr<const BoardValues>;

// Told on the board's thread after every change of the values, at most once
// per received line or change batch. Must return at once.
class BoardValuesSubscriber {
public:
    virtual ~BoardValuesSubscriber() = default;
    virtual void boardValuesChanged(const BoardValuesPtr& values) = 0;
};

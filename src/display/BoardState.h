#pragma once
#include "board/BoardValues.h"

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// What the board shows, as plain values: a snapshot that other threads may
// read while the board goes on.
namespace board {

struct Element {
    QString name;    // the element's name on the board: Rang, Zeit_Se, Textfeld1_V, Logo1 ...
    QString group;   // time, rank, number, preset, text1..3, board1..4, logo1..3
    int picture = 0; // 1..3 for Logo1..Logo3, 0 for a text element
    QString text;
    bool visible = false;
    int x = 0, y = 0, width = 0, height = 0;
    QString fontFamily;  // the family the board names (may be a design name)
    QString fontFace;    // the installed family that draws it
    int fontPixels = 0;
    int fontWeight = 400;  // CSS weight, 100..900
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int32_t fontColour = 0;           // 0x00BBGGRR
    int32_t colour = 0x1FFFFFFF;      // background; 0x1FFFFFFF: none
    bool transparent = false;         // background not painted
    int alignment = 0;                // 0 left, 1 centre, 2 right
    quint64 pictureSerial = 0;        // changes with every picture loaded

    bool operator==(const Element&) const = default;
};

struct State {
    int width = 0, height = 0;        // the board's area in pixels
    int32_t displayColour = 0;        // 0x00BBGGRR
    std::vector<Element> elements;
    std::array<QImage, 3> pictures;   // Logo1..Logo3 as loaded
    // The values the board core published for what the elements show
    // (nullptr when the board has no core): the plain fields come from here.
    BoardValuesPtr values;

    // Everything the page draws, pictures by their serial.
    bool sameAs(const State& o) const {
        const bool sameValues = values == o.values || (values && o.values && *values == *o.values);
        return width == o.width && height == o.height && displayColour == o.displayColour && sameValues &&
               elements == o.elements;
    }
};

using Snapshot = std::shared_ptr<const State>;

// Told on the board's thread whenever the board shows something else. Must
// return at once: whatever takes time happens elsewhere.
class Observer {
public:
    virtual ~Observer() = default;
    virtual void boardChanged(const Snapshot& state) = 0;
};

} // namespace board

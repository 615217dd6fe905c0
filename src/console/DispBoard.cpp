// The board as its observers (the web board) see it: every display element
// with its group, watched by one BoardModel.
#include "console/Disp.h"

#include "display/BoardModel.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QScreen>

BoardModel* Tdisplay::boardModel() {
    if (boardModel_)
        return boardModel_;
    auto size = [this]() -> QSize {
        // Display mode fills the screen; until then the board is the screen's size.
        if (Anzeigemodus)
            return canvas->size();
        if (const QScreen* s = screen())
            return s->geometry().size();
        return canvas->size();
    };
    boardModel_ = new BoardModel([this] { return Anzeigefarbe; }, size, this);
    BoardModel& m = *boardModel_;
    m.setValues([this] { return core_.published(); });
    // In the order the elements were made: a later one lies above.
    m.addLabel(Rang, "rank");
    m.addLabel(Nummer, "number");
    m.addLabel(Vorgabezeit, "preset");
    for (DisplayLabel* l : Zeitstellen)
        m.addLabel(l, "time");
    for (int i = 0; i < 4; ++i)
        m.addLabel(Tafel[size_t(i)].Text, QString("board%1").arg(i + 1));
    for (int i = 0; i < 3; ++i) {
        const QString group = QString("text%1").arg(i + 1);
        for (DisplayLabel* s : Textfeld[size_t(i)].shadows())
            m.addLabel(s, group);
        m.addLabel(Textfeld[size_t(i)].V, group);
    }
    for (int i = 0; i < 3; ++i)
        m.addPicture(Logo[size_t(i)], QString("logo%1").arg(i + 1), i + 1);
    m.watchArea(canvas);
    return boardModel_;
}

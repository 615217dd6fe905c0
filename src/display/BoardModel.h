#pragma once
#include "display/BoardState.h"

#include <QObject>
#include <QFont>
#include <functional>

class DisplayLabel;
class PictureBox;
class QWidget;

// Watches the board's display elements and hands a snapshot of the whole board
// to its observers after every change. Changes made in one go (a received line
// rewrites several labels) give one snapshot, taken right after, on the board's
// thread: copying a few dozen values, no encoding.
class BoardModel : public QObject {
    Q_OBJECT
public:
    // `displayColour` and `size` are asked at every snapshot.
    BoardModel(std::function<int32_t()> displayColour, std::function<QSize()> size, QObject* parent = nullptr);

    void addLabel(DisplayLabel* label, const QString& group);
    void addPicture(PictureBox* picture, const QString& group, int number);
    // Also watched: the area the elements live on (size and colour of display mode).
    void watchArea(QWidget* area);

    // The board core's newest values, carried with every snapshot.
    void setValues(std::function<BoardValuesPtr()> values) { values_ = std::move(values); }

    void addObserver(board::Observer* o);
    void removeObserver(board::Observer* o);

    // The board as it is now (taken now if a change is pending).
    board::Snapshot snapshot();

    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Watched {
        QWidget* widget;
        DisplayLabel* label;
        PictureBox* picture;
        QString group;
        int number;
        QFont font;       // the font last resolved
        QString face;
    };
    void schedule();
    void take();
    board::Element read(Watched& w);

    std::function<int32_t()> displayColour_;
    std::function<QSize()> size_;
    std::function<BoardValuesPtr()> values_;
    std::vector<Watched> watched_;
    std::vector<board::Observer*> observers_;
    board::Snapshot last_;
    bool pending_ = false;
};

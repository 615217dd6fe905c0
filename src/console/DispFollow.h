#pragma once
#include "board/BoardCore.h"
#include "display/BoardState.h"
#include "follow/FollowedBoard.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class Follower;
struct FollowSource;
class Tdisplay;
class QWidget;

// The main window as a followed board: the elements are set by name from the
// board followed; the window's own layout, fonts and colours stay. Made on
// the board's thread after the window is shown.
class DispFollow : public QObject, public FollowedBoard, public board::Observer {
    Q_OBJECT
public:
    static std::unique_ptr<DispFollow> start(Tdisplay& display, const FollowSource& source);
    ~DispFollow() override;

    void setElement(const QString& name, const QString& text, bool visible) override;
    void beginState() override;
    void endState() override;
    void setPicture(int number, const QImage& image) override;
    void setFollowStatus(const QString& text) override;
    void boardChanged(const board::Snapshot& state) override;

private:
    explicit DispFollow(Tdisplay& display);

    QPointer<Tdisplay> display_;
    // By name: the core's value an element shows, or (shadows, logos) the widget.
    QHash<QString, std::function<BoardValues::Shown&(BoardValues&)>> values_;
    QHash<QString, QWidget*> elements_;
    std::optional<BoardCore::Batch> batch_;  // one published change per followed state
    std::unique_ptr<Follower> follower_;
    bool reapplyQueued_ = false;
};

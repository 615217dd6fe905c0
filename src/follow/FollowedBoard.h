#pragma once
#include <QImage>
#include <QString>

// The board a follower sets from outside: the one way the followed board
// reaches the window. Called on the board's thread.
class FollowedBoard {
public:
    virtual ~FollowedBoard() = default;
    // An element by its name on the board (Rang, Zeit_Se, Textfeld1_V,
    // TextA2, Logo1 ...); an unknown name is ignored. Pictures take only the
    // visibility here.
    virtual void setElement(const QString& name, const QString& text, bool visible) = 0;
    // Around the elements of one followed state: the board shows them at once.
    virtual void beginState() {}
    virtual void endState() {}
    // Picture 1..3 (Logo1..Logo3); a null image empties it.
    virtual void setPicture(int number, const QImage& image) = 0;
    // "following <URL>: <state>" for the status line.
    virtual void setFollowStatus(const QString& text) = 0;
};

#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// The primary's board as its web board's JSON says it ("state": the whole
// board, "change": what changed since), kept as the follower needs it: per
// element its name, text and visibility, and where a picture is fetched.
//
// Every message is untrusted: what is malformed, too large or of a kind not
// known is dropped as a whole, and what it would add is bounded.
namespace follow {

struct Element {
    QString name;     // Rang, Zeit_Se, Textfeld1_V, Logo1 ... (any name; the board ignores unknown ones)
    QString text;
    bool visible = false;
    int picture = 0;  // 1..3 for Logo1..Logo3, else 0
    QString src;      // a picture's path on the web board (/picture/N?v=S); empty: no picture
    bool operator==(const Element&) const = default;
};

class FollowedState {
public:
    static constexpr qsizetype kMaxMessage = 1 << 20;  // bytes of one message
    static constexpr int kMaxElements = 128;           // the board has 37
    static constexpr int kMaxName = 64;
    static constexpr int kMaxText = 1024;               // characters kept of one text

    // Takes a message; false when it was dropped (malformed, too large, a
    // change while no whole state was taken since the last expectState()).
    bool take(const QByteArray& message);
    // The connection was lost: changes count again only after a whole state.
    // The elements stay (the follower keeps showing the last board).
    void expectState() { whole_ = false; }
    bool hasState() const { return whole_; }
    bool empty() const { return elements_.empty(); }
    const std::vector<Element>& elements() const { return elements_; }

private:
    std::vector<Element> elements_;
    bool whole_ = false;
};

} // namespace follow

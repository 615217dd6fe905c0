#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// The installed font files that draw the board's faces, served to the page
// by number. Numbers are handed out here from face, weight and style; a file
// name never comes from outside.
class FontFiles {
public:
    struct Font {
        QString face;
        int weight = 400;
        bool italic = false;
        QString file;       // empty: no servable file
        QByteArray mime;
        QByteArray data;    // read at first request
        bool read = false;
    };

    // The number of the file that draws face/weight/style, -1 when there is none.
    int indexOf(const QString& face, int weight, bool italic);
    // The file's bytes, or nullptr for an unknown number or an unreadable file.
    const Font* font(int index);

    // Where fontconfig finds face/weight/style; empty when it is no TrueType or
    // OpenType file (what browsers take).
    static QString locate(const QString& face, int weight, bool italic);

private:
    std::vector<Font> fonts_;
};

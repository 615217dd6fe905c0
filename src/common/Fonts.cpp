#include "Fonts.h"

#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace fonts {

void registerSubstitutes() {
    // First installed wins; the Debian packages fonts-dejavu-core and
    // fonts-liberation provide these.
    QFont::insertSubstitutions(kDigits, {"DejaVu Sans Mono", "Liberation Mono", "Monospace"});
    QFont::insertSubstitutions(kPanel, {"Liberation Sans", "DejaVu Sans", "Sans Serif"});
    QFont::insertSubstitutions(kDialog, {"DejaVu Sans", "Liberation Sans", "Sans Serif"});
}

int pointsToPixels(int points) {
    return int(std::lround(points * 96.0 / 72.0));
}

int pixelsToPoints(int pixels) {
    return int(std::lround(pixels * 72.0 / 96.0));
}

QFont make(const QString& family, int pixelHeight, bool bold) {
    QFont f(family);
    f.setPixelSize(pixelHeight > 0 ? pixelHeight : 1);
    f.setBold(bold);
    f.setStyleHint(family == kDigits ? QFont::TypeWriter : QFont::SansSerif);
    return f;
}

int pointSize(const QFont& f) {
    if (f.pixelSize() > 0)
        return pixelsToPoints(f.pixelSize());
    return int(std::lround(f.pointSizeF()));
}

void setPointSize(QFont& f, int points) {
    f.setPixelSize(points > 0 ? pointsToPixels(points) : 1);
}

} // namespace fonts

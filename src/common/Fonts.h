#pragma once
#include <QFont>
#include <QString>

// The design faces of the board are Windows fonts. On other systems they are
// mapped to installed faces (bold fixed-pitch for the digits) while every
// element keeps the design name as its font name.
namespace fonts {

inline const QString kDigits = QStringLiteral("Monospac821 BT");
inline const QString kPanel = QStringLiteral("MS Sans Serif");
inline const QString kDialog = QStringLiteral("Tahoma");

void registerSubstitutes();

// Font sizes travel in points at the design's 96 pixels per inch, so a
// layout looks the same whatever the screen reports.
int pointsToPixels(int points);
int pixelsToPoints(int pixels);

// A font of `pixelHeight` pixels character height.
QFont make(const QString& family, int pixelHeight, bool bold);
int pointSize(const QFont& f);
void setPointSize(QFont& f, int points);

} // namespace fonts

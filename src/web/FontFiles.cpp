#include "web/FontFiles.h"

#include <QFile>
#include <fontconfig/fontconfig.h>

namespace {
constexpr qint64 kMaxFontFile = 32 * 1024 * 1024;

QByteArray mimeOf(const QByteArray& head) {
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) || head.startsWith("true"))
        return "font/ttf";
    if (head.startsWith("OTTO"))
        return "font/otf";
    return {};
}
} // namespace

QString FontFiles::locate(const QString& face, int weight, bool italic) {
    if (!FcInit())
        return {};
    FcPattern* p = FcPatternCreate();
    const QByteArray family = face.toUtf8();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
    FcPatternAddInteger(p, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, p, &result);
    QString file;
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = QString::fromUtf8(reinterpret_cast<const char*>(path));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(p);
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly) || mimeOf(f.read(4)).isEmpty())
        return {};
    return file;
}

int FontFiles::indexOf(const QString& face, int weight, bool italic) {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].face == face && fonts_[i].weight == weight && fonts_[i].italic == italic)
            return fonts_[i].file.isEmpty() ? -1 : int(i);
    Font f;
    f.face = face;
    f.weight = weight;
    f.italic = italic;
    f.file = locate(face, weight, italic);
    fonts_.push_back(f);
    return f.file.isEmpty() ? -1 : int(fonts_.size() - 1);
}

const FontFiles::Font* FontFiles::font(int index) {
    if (index < 0 || size_t(index) >= fonts_.size() || fonts_[size_t(index)].file.isEmpty())
        return nullptr;
    Font& f = fonts_[size_t(index)];
    if (!f.read) {
        f.read = true;
        QFile file(f.file);
        if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxFontFile) {
            f.data = file.readAll();
            f.mime = mimeOf(f.data.left(4));
        }
    }
    return f.data.isEmpty() || f.mime.isEmpty() ? nullptr : &f;
}

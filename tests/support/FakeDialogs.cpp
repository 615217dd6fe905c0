#include "FakeDialogs.h"

#include <QDialog>

namespace {
template <typename T>
T take(std::deque<T>& q, T none) {
    // One return object: GCC flags a moved-into local optional<QString> as maybe uninitialised.
    if (!q.empty()) {
        none = std::move(q.front());
        q.pop_front();
    }
    return none;
}
} // namespace

void FakeDialogs::error(QWidget*, const QString& text) {
    errors << text;
}

void FakeDialogs::showNotice(QWidget*, const QString& key, const QString& text) {
    notices << text;
    openNotices[key] = text;
}

void FakeDialogs::closeNotice(const QString& key) {
    openNotices.remove(key);
}

std::optional<Dialogs::FontChoice> FakeDialogs::chooseFont(QWidget*, const FontChoice& initial,
                                                           bool fixedPitchOnly) {
    lastFontInitial = initial;
    lastFixedPitchOnly = fixedPitchOnly;
    return take(fontAnswers, std::optional<FontChoice>());
}

std::optional<int32_t> FakeDialogs::chooseColour(QWidget*, int32_t initial) {
    lastColourInitial = initial;
    return take(colourAnswers, std::optional<int32_t>());
}

std::optional<QString> FakeDialogs::openFile(QWidget*, const QString& folder, const QString&,
                                             const QString&) {
    lastFileFolder = folder;
    return take(fileAnswers, std::optional<QString>());
}

int FakeDialogs::exec(QDialog* dialog) {
    ++execCount;
    auto answer = take(execAnswers, std::function<int(QDialog*)>());
    return answer ? answer(dialog) : int(QDialog::Rejected);
}

int FakeDialogs::ask(QWidget*, const QString& title, const QString& text, const QStringList& buttons, int escape) {
    questions.append({title, text, buttons});
    auto answer = take(askAnswers, std::function<int(const QStringList&)>());
    return answer ? answer(buttons) : escape;
}

std::optional<QString> FakeDialogs::askText(QWidget*, const QString&, const QString& label, const QString&) {
    textLabels << label;
    if (whileAskingText)
        whileAskingText();
    return take(textAnswers, std::optional<QString>());
}

FakeDialogs& FakeDialogs::strict() {
    static FakeDialogs instance;
    return instance;
}

void FakeDialogs::installStrict() {
    Dialogs::install(&strict());
}

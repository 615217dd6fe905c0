#pragma once
#include "common/Dialogs.h"

#include <QHash>
#include <QStringList>
#include <deque>
#include <functional>

// Scripted answers for modal interactions. Every call is recorded; a call
// with no scripted answer cancels (and for exec, rejects) so nothing blocks.
class FakeDialogs : public Dialogs {
public:
    void error(QWidget* parent, const QString& text) override;
    std::optional<FontChoice> chooseFont(QWidget* parent, const FontChoice& initial,
                                         bool fixedPitchOnly) override;
    std::optional<int32_t> chooseColour(QWidget* parent, int32_t initial) override;
    std::optional<QString> openFile(QWidget* parent, const QString& folder, const QString& filter,
                                    const QString& defaultSuffix) override;
    int exec(QDialog* dialog) override;
    int ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
            int escape) override;
    std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                   const QString& initial) override;

    QStringList errors;                 // texts of the error boxes shown
    QStringList notices;                // texts of every notice, in order
    QHash<QString, QString> openNotices;  // the notices shown now, by key
    std::deque<std::optional<FontChoice>> fontAnswers;
    std::deque<std::optional<int32_t>> colourAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    // Runs inside exec(); returns the dialog's result code.
    std::deque<std::function<int(QDialog*)>> execAnswers;
    // Runs inside ask(); returns the index of the button chosen. None left: escape.
    std::deque<std::function<int(const QStringList& buttons)>> askAnswers;
    struct Question {
        QString title, text;
        QStringList buttons;
    };
    QList<Question> questions;  // every question asked, in order
    // Answers of askText in order; none left: cancelled. Its labels, in order.
    std::deque<std::optional<QString>> textAnswers;
    QStringList textLabels;
    std::function<void()> whileAskingText;  // runs inside askText, before it answers

    // Recorded arguments of the last calls.
    FontChoice lastFontInitial;
    bool lastFixedPitchOnly = false;
    int32_t lastColourInitial = 0;
    QString lastFileFolder;
    int execCount = 0;

    bool noticesPutAway = false;        // while notices are held

    static FakeDialogs& strict();
    static void installStrict();

protected:
    void showNotice(QWidget* parent, const QString& key, const QString& text) override;
    void closeNotice(const QString& key) override;
    void putAwayNotices(bool away) override { noticesPutAway = away; }
    int shownNotices() const override { return int(openNotices.size()); }
};

// Installs a fresh FakeDialogs for the lifetime of the guard.
class ScopedFakeDialogs {
public:
    ScopedFakeDialogs() { Dialogs::install(&fake); }
    ~ScopedFakeDialogs() { FakeDialogs::installStrict(); }
    FakeDialogs fake;
    FakeDialogs* operator->() { return &fake; }
};

#pragma once
#include <QDialog>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class QWidget;

// Every modal interaction of the program goes through this interface, so a
// headless run (tests, benchmarks, fuzzing) answers them without a screen.
class Dialogs {
public:
    struct FontChoice {
        QFont font;
        int32_t colour = 0;  // 0x00BBGGRR
    };

    virtual ~Dialogs() = default;

    // Message box with caption "Error", an error icon and an OK button.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The same box, shown without waiting for the operator: for faults met while the
    // board runs or starts, which must never stop it. One box per key: a notice with a
    // key that is already shown replaces the text of that box instead of adding one.
    // While notices are held it waits, and is shown when they are released.
    void notice(QWidget* parent, const QString& key, const QString& text);
    // Closes the notice of key, if it is shown or waits (its cause has gone away).
    void withdrawNotice(const QString& key);
    // While the board covers the screen no notice may cover the board: the
    // boxes shown are put away and new ones wait; releasing shows them all.
    void holdNotices(bool hold);
    bool noticesHeld() const { return holding_; }
    // Notices the operator has not yet closed: waiting ones and those shown.
    int pendingNotices() const { return int(held_.size()) + shownNotices(); }
    virtual std::optional<FontChoice> chooseFont(QWidget* parent, const FontChoice& initial,
                                                 bool fixedPitchOnly) = 0;
    virtual std::optional<int32_t> chooseColour(QWidget* parent, int32_t initial) = 0;
    virtual std::optional<QString> openFile(QWidget* parent, const QString& folder,
                                            const QString& filter, const QString& defaultSuffix) = 0;
    // Shows a dialog modally and returns its result code (QDialog::Accepted ...).
    virtual int exec(QDialog* dialog) = 0;
    // A question with a warning icon and one button per entry of buttons; returns
    // the index of the button chosen (escape when the box is closed without one),
    // or kNobody when there is no person to ask.
    static constexpr int kNobody = -1;
    virtual int ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                    int escape) = 0;
    // One line of text, `initial` preset; nullopt when cancelled.
    virtual std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                           const QString& initial) = 0;

    static Dialogs& current();
    // Installs d (not owned); nullptr restores the real dialogs.
    static void install(Dialogs* d);

protected:
    virtual void showNotice(QWidget* parent, const QString& key, const QString& text) = 0;
    virtual void closeNotice(const QString& key) = 0;
    // Hides the boxes shown (true) or shows them again (false).
    virtual void putAwayNotices(bool away) = 0;
    virtual int shownNotices() const = 0;  // boxes open, put away or not

private:
    struct Held {
        QString key, text;
        QPointer<QWidget> parent;
    };
    QList<Held> held_;  // in the order they came, one per key
    bool holding_ = false;
};

// Answers every interaction at once: no message, every dialog cancelled.
// For headless runs of the whole program (benchmarks, fuzzing).
class SilentDialogs : public Dialogs {
public:
    void error(QWidget*, const QString&) override {}
    std::optional<FontChoice> chooseFont(QWidget*, const FontChoice&, bool) override { return std::nullopt; }
    std::optional<int32_t> chooseColour(QWidget*, int32_t) override { return std::nullopt; }
    std::optional<QString> openFile(QWidget*, const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    int exec(QDialog*) override { return 0; }  // QDialog::Rejected
    int ask(QWidget*, const QString&, const QString&, const QStringList&, int) override { return kNobody; }
    std::optional<QString> askText(QWidget*, const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }

protected:
    void showNotice(QWidget*, const QString&, const QString&) override {}
    void closeNotice(const QString&) override {}
    void putAwayNotices(bool) override {}
    int shownNotices() const override { return 0; }
};

// A font dialog that also chooses the text colour, as the board's elements
// take both at once.
class FontColourDialog : public QDialog {
    Q_OBJECT
public:
    FontColourDialog(const Dialogs::FontChoice& initial, bool fixedPitchOnly, QWidget* parent = nullptr);
    Dialogs::FontChoice choice() const;

private:
    void showColour();
    class QFontDialog* fonts_;
    class QPushButton* colourButton_;
    int32_t colour_;
};

// Moves a dialog onto its parent window's screen, fully visible (frame included).
void placeOnParentScreen(QWidget* dialog);
// Centres a box over `anchor`, wholly on the anchor's screen (frame included).
void placeOverWindow(QWidget* box, const QWidget* anchor);

// The real, on-screen implementation.
class ScreenDialogs : public Dialogs {
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

protected:
    void showNotice(QWidget* parent, const QString& key, const QString& text) override;
    void closeNotice(const QString& key) override;
    void putAwayNotices(bool away) override;
    int shownNotices() const override;

private:
    void reveal(class QMessageBox* box);
    QHash<QString, QPointer<class QMessageBox>> notices_;
};

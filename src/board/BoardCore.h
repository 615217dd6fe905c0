#pragma once
#include "board/BoardOptions.h"
#include "board/BoardValues.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ResultTable;
namespace race {
class Listener;
}

// The board without its window: received bytes become lines, lines become
// the values the board shows and the results the time table records. The
// window draws the values, outputs subscribe to them; nothing here knows a
// widget. Runs on the board's thread.
class BoardCore {
public:
    // The line under dispatch and what it left behind.
    struct LineState {
        std::string Zeile;          // the line under dispatch (8-bit)
        int Startnummer = 0;
        int Rangwert = 0;
        int Zeitwert = 0;           // milliseconds
        int LetzteStartnummer = 0;  // for a time sent without start number
    };
    // Asks the operator for a start number: the text entered, nullopt when
    // the question was not confirmed. May run a nested event loop.
    using Prompt = std::function<std::optional<QString>()>;
    // Every complete line as received (the journal), with its arrival in ms since the epoch.
    using LineSink = std::function<void(const QByteArray& line, qint64 at)>;

    BoardCore();
    ~BoardCore();
    BoardCore(const BoardCore&) = delete;
    BoardCore& operator=(const BoardCore&) = delete;

    // ---- input -------------------------------------------------------------
    // One received byte. While a line is under dispatch (the prompt is
    // open) further complete lines wait and are dispatched after it.
    void receive(char b);
    void receive(const QByteArray& bytes);
    int linesReceived() const { return linesReceived_; }
    qint64 lastLineAt() const { return lastLineAt_; }  // steady ms of the last line end, -1: none
    size_t heldLineCount() const { return held_.size(); }
    const std::string& gathering() const { return gathering_; }  // the bytes of the line not yet complete

    // ---- what the rules read -------------------------------------------------
    void setOptions(const BoardOptions& options) { options_ = options; }
    const BoardOptions& options() const { return options_; }
    void setTable(ResultTable* table) { table_ = table; }  // nullptr: no time table
    ResultTable* table() const { return table_; }
    void setPrompt(Prompt prompt) { prompt_ = std::move(prompt); }
    void setLineSink(LineSink sink) { lineSink_ = std::move(sink); }
    void setRaceListener(race::Listener* listener) { raceListener_ = listener; }

    const LineState& state() const { return state_; }

    // ---- the shown values ----------------------------------------------------
    const BoardValues& values() const { return values_; }
    BoardValuesPtr published() const { return published_; }
    void subscribe(BoardValuesSubscriber* s);
    void unsubscribe(BoardValuesSubscriber* s);
    // Values set from outside (a control, a follower board): published at
    // the end of the outermost batch.
    void show(const BoardValues& values);
    void change(const std::function<void(BoardValues&)>& edit);
    class Batch {
    public:
        explicit Batch(BoardCore& c) : c_(c) { c_.begin(); }
        ~Batch() { c_.end(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        BoardCore& c_;
    };

    // Text field n (1..3): the runner's name, nation, free text; also the
    // event title and the language file's texts.
    void Textfeld_setzen(int n, const QString& text);
    void setBoardText(int n, const QString& text);  // TextA<n> (1..4)
    // The number again with the suffix now chosen (NummerEndeChange).
    void refreshNumber();
    void Startnummer_zeigen();

    // ---- helpers the rules share ---------------------------------------------
    int Zeit_in_ms(const std::string& text) const;
    int tableTime(int row, int column) const;  // milliseconds of a time table cell
    // Whether a result line for this start number repeats the time its
    // channel already holds in the runner's row (devices repeat results).
    bool repeatedResult(const std::string& line, int startNumber) const;
    static int channelColumn(char channel);    // column of channel 'A'..'J', else 0

private:
    void begin();
    void end();
    void lineComplete(std::string line);
    void dispatchLine();
    void Startnummer_einsetzen();
    void updateBoards(char address, bool normalLine);
    void Laufende_Zeit_zeigen();
    void Rang_zeigen();
    void Vorgabezeit_zeigen();
    void putChar(int place, char b);

    BoardOptions options_;
    ResultTable* table_ = nullptr;
    Prompt prompt_;
    LineSink lineSink_;
    race::Listener* raceListener_ = nullptr;

    LineState state_;
    std::string gathering_;  // the one gatherer of received bytes
    int gathered_ = 0;
    std::deque<std::string> held_;  // lines complete while another is under dispatch
    bool dispatching_ = false;
    int linesReceived_ = 0;
    qint64 lastLineAt_ = -1;
    std::string lastResultLine_;  // the result line the rank shows
    struct {
        int ms = 0;
        char sep = 0;
        QString text;
    } presetShown_;  // the preset time last shown and its text

    BoardValues values_;
    BoardValuesPtr published_;
    std::vector<BoardValuesSubscriber*> subscribers_;
    int depth_ = 0;
};

// The window around its board core: received bytes in, the controls'
// options in, the core's values out into the labels.
#include "console/Disp.h"

#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "timetable/Control.h"

#include <QCheckBox>
#include <QComboBox>

void Tdisplay::ComThread1PacketReceived(QObject*, const QByteArray& buffer) {
    if (buffer.isEmpty())
        return;
    syncTable();
    core_.receive(buffer[0]);
}

void Tdisplay::syncTable() {
    // The time table window may come and go; the core sees it while it is there.
    core_.setTable(TimeControl ? &table_ : nullptr);
}

void Tdisplay::connectCore() {
    core_.setPrompt([this] { return askStartNumber(); });
    core_.setLineSink([this](const QByteArray& line, qint64 at) { lineToJournal(line, at); });
    // The labels as designed are the values the board starts with.
    rendered_ = std::make_shared<const BoardValues>(readLabels());
    core_.show(*rendered_);
    core_.subscribe(this);
    // Every control the rules read tells the core when it changes.
    for (QCheckBox* b : {CheckBoxZ, CheckBoxR, Vorgabezeit_sichtbar, Logo_sichtbar[2], SecMode, StrNrSelfCB})
        connect(b, &QCheckBox::toggled, this, [this] { pushOptions(); });
    QList<QComboBox*> lists = {AdrNummer, RangEnde, NummerEnde};
    for (const Board& b : Tafel)
        lists << b.Adresse << b.VonZeichen << b.AnzZeichen;
    for (QComboBox* c : lists) {
        connect(c, &QComboBox::currentIndexChanged, this, [this] { pushOptions(); });
        // A language file renames entries: an address matches by its first character.
        connect(c->model(), &QAbstractItemModel::dataChanged, this, [this] { pushOptions(); });
    }
    pushOptions();
}

void Tdisplay::pushOptions() {
    BoardOptions o = core_.options();  // the suffixes are kept by their change handlers
    o.showTime = CheckBoxZ->isChecked();
    o.showRank = CheckBoxR->isChecked();
    o.showPreset = Vorgabezeit_sichtbar->isChecked();
    o.advertForTopRanks = Logo_sichtbar[2]->isChecked();
    o.secMode = SecMode->isChecked();
    o.askStartNumber = StrNrSelfCB->isChecked();
    o.wholeSurname = WholeSureName;
    o.displayMode = Anzeigemodus;
    o.timeAutomatic = ZeitAutomatik;
    auto firstChar = [](const QComboBox* c) { return c->currentText().isEmpty() ? QChar() : c->currentText()[0]; };
    o.numberAddress = AdrNummer->currentIndex();
    o.numberAddressLetter = firstChar(AdrNummer);
    for (size_t i = 0; i < 4; ++i) {
        const Board& b = Tafel[i];
        o.boards[i] = {b.Adresse->currentIndex(), firstChar(b.Adresse), b.VonZeichen->currentIndex() + 1,
                       b.AnzZeichen->currentIndex() + 1};
    }
    core_.setOptions(o);
}

BoardValues Tdisplay::readLabels() const {
    BoardValues v;
    auto read = [](const DisplayLabel* l) { return BoardValues::Shown{l->text(), !l->isHidden()}; };
    for (size_t i = 0; i < Zeitstellen.size(); ++i)
        v.time[i] = read(Zeitstellen[i]);
    v.rank = read(Rang);
    v.number = read(Nummer);
    v.preset = read(Vorgabezeit);
    for (size_t i = 0; i < 3; ++i)
        v.texts[i] = read(Textfeld[i].V);
    for (size_t i = 0; i < 4; ++i)
        v.boards[i] = read(Tafel[i].Text);
    v.advert = !Logo[2]->isHidden();
    return v;
}

void Tdisplay::boardValuesChanged(const BoardValuesPtr& values) {
    render(*values);
    rendered_ = values;  // published values never change: kept, not copied
}

void Tdisplay::render(const BoardValues& v) {
    const BoardValues& was = *rendered_;
    // Only what changed is touched: a running-time line rewrites a digit or two.
    auto draw = [](DisplayLabel* l, const BoardValues::Shown& now, const BoardValues::Shown& was) {
        if (now.text != was.text)
            l->setText(now.text);
        if (now.visible != was.visible)
            l->setVisible(now.visible);
    };
    for (size_t i = 0; i < Zeitstellen.size(); ++i)
        draw(Zeitstellen[i], v.time[i], was.time[i]);
    draw(Rang, v.rank, was.rank);
    draw(Nummer, v.number, was.number);
    draw(Vorgabezeit, v.preset, was.preset);
    for (size_t i = 0; i < 3; ++i) {
        TextField& t = Textfeld[i];
        draw(t.V, v.texts[i], was.texts[i]);
        if (v.texts[i].text != was.texts[i].text)
            for (DisplayLabel* s : t.shadows())
                s->setText(v.texts[i].text);
    }
    for (size_t i = 0; i < 4; ++i)
        draw(Tafel[i].Text, v.boards[i], was.boards[i]);
    if (v.advert != was.advert)
        Logo[2]->setVisible(v.advert);
}

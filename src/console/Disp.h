#pragma once
#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "board/BoardCore.h"
#include "display/BoardHost.h"
#include "timetable/SpreadsheetTable.h"

class BoardModel;
class DisplayLabel;
namespace race {
class Listener;
}
class PictureBox;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QIODevice;
namespace language {
struct Line;
}
class QLabel;
class QPushButton;
class QScrollArea;
class TSpreadsheet;
class TWComThread;

// The main window: setup panel and, after "Starten", the scoreboard.
// The line rules and the shown values live in its BoardCore; the window
// keeps the controls, pushes their options to the core and draws the core's
// values into its labels. Its member files, by concern, all in console/:
//   Disp.cpp            creation, first paint, closing
//   DispPanel.cpp       the setup controls
//   DispMode.cpp        display mode
//   DispKeys.cpp        hotkeys
//   DispMouse.cpp       placing elements with the mouse
//   DispAppearance.cpp  fonts, colours, visibility
//   DispElements.cpp    the display elements and pictures
//   DispTime.cpp        time digits: formats, layout
//   DispRank.cpp, DispNumber.cpp, DispPreset.cpp, DispTextFields.cpp
//   DispLine.cpp        bytes to the core, options to the core, values to the labels
//   DispPrompt.cpp      the start number prompt
//   DispJournal.cpp     the journal of received lines
//   DispPort.cpp        serial line and port selection
//   DispSettings.cpp, SettingsKeys.cpp  disp.ini
//   DispLanguage.cpp    language files
class Tdisplay : public QWidget, public BoardHost, private BoardValuesSubscriber {
    Q_OBJECT
public:
    explicit Tdisplay(QWidget* parent = nullptr);
    ~Tdisplay() override;

    // ---- display elements -------------------------------------------------
    DisplayLabel* Rang = nullptr;
    DisplayLabel* Nummer = nullptr;
    DisplayLabel* Vorgabezeit = nullptr;
    DisplayLabel* Zeit_Hz = nullptr;
    DisplayLabel* Zeit_He = nullptr;
    DisplayLabel* Zeit_Dp1 = nullptr;
    DisplayLabel* Zeit_Mz = nullptr;
    DisplayLabel* Zeit_Me = nullptr;
    DisplayLabel* Zeit_Dp2 = nullptr;
    DisplayLabel* Zeit_Sz = nullptr;
    DisplayLabel* Zeit_Se = nullptr;
    DisplayLabel* Zeit_Pt = nullptr;
    DisplayLabel* Zeit_z = nullptr;
    DisplayLabel* Zeit_h = nullptr;
    DisplayLabel* Zeit_t = nullptr;
    std::array<DisplayLabel*, 12> Zeitstellen{};  // the twelve above, left to right

    // Text field n (1..3) is Textfeld[n - 1]; its widgets are named
    // Textfeld<n>_V, Textfeld<n>_HLO ..., T<n>RandPixel ...
    struct TextField {
        DisplayLabel* V = nullptr;
        DisplayLabel* HLO = nullptr;
        DisplayLabel* HLU = nullptr;
        DisplayLabel* HRO = nullptr;
        DisplayLabel* HRU = nullptr;
        QCheckBox* Sichtbar = nullptr;
        QCheckBox* Hintergrund = nullptr;
        QPushButton* Schriftart = nullptr;
        QPushButton* Hintergrundfarbe = nullptr;
        QPushButton* Schattenfarbe = nullptr;
        QComboBox* ausrichtung = nullptr;
        QComboBox* RandPixel = nullptr;
        QComboBox* Pixel_H = nullptr;
        QComboBox* Pixel_V = nullptr;
        QLabel* Label1 = nullptr;  // "Rand"
        QLabel* Label2 = nullptr;  // "Horizontal"
        QLabel* Label3 = nullptr;  // "Vertikal"
        QLabel* Label4 = nullptr;  // "Ausrichtung"
        QLabel* X = nullptr;
        QLabel* Y = nullptr;
        std::array<DisplayLabel*, 4> shadows() const { return {HLO, HLU, HRO, HRU}; }
    };
    std::array<TextField, 3> Textfeld;

    // Addressed board n (1..4) is Tafel[n - 1]: TextA<n>, A<n>_sichtbar, Adresse<n> ...
    struct Board {
        DisplayLabel* Text = nullptr;
        QCheckBox* sichtbar = nullptr;
        QComboBox* Adresse = nullptr;
        QPushButton* Schriftart = nullptr;
        QPushButton* Hintergrund = nullptr;
        QComboBox* VonZeichen = nullptr;
        QComboBox* AnzZeichen = nullptr;
        QLabel* X = nullptr;
        QLabel* Y = nullptr;
    };
    std::array<Board, 4> Tafel;

    // Pictures Logo1..Logo3 and their boxes Logo<n>_sichtbar.
    std::array<PictureBox*, 3> Logo{};
    std::array<QCheckBox*, 3> Logo_sichtbar{};

    // ---- setup controls ---------------------------------------------------
    QCheckBox* CheckBoxZ = nullptr;
    QCheckBox* CheckBoxR = nullptr;
    QCheckBox* CheckBoxN = nullptr;
    QCheckBox* Vorgabezeit_sichtbar = nullptr;
    QCheckBox* SecMode = nullptr;
    QCheckBox* StrNrSelfCB = nullptr;
    QComboBox* RangEnde = nullptr;
    QComboBox* NummerEnde = nullptr;
    QComboBox* AdrNummer = nullptr;
    QComboBox* Genauigkeit = nullptr;
    QComboBox* ZeitDarstellung = nullptr;
    QComboBox* ZeitPixelversatz = nullptr;
    QComboBox* GenauigkeitVorgabezeit = nullptr;
    QComboBox* COM = nullptr;
    QPushButton* Language = nullptr;
    QPushButton* Time = nullptr;
    QPushButton* Hintergrund = nullptr;
    QPushButton* Start = nullptr;
    QPushButton* End = nullptr;

    // The scrollable client area; every element and control lives on `canvas`.
    QScrollArea* scroller = nullptr;
    QWidget* canvas = nullptr;

    // ---- state ------------------------------------------------------------
    // The board without its window: line, start number, rank, time and what the board shows.
    BoardCore& core() override { return core_; }
    const BoardCore& core() const { return core_; }
    // The options the core reads, from the controls as they are now;
    // run whenever a control or a member among them changes.
    void pushOptions();
    int Pixelversatz = 0;
    bool ZeitAutomatik = false;
    bool Neuladen = false;
    bool Anzeigemodus = false;
    bool WholeSureName = false;
    int32_t Anzeigefarbe = 0;
    QByteArray Sprachdatei;

    // ---- lifecycle (console/Disp.cpp) -------------------------------------
    void FormCreate();
    void FormShow();
    void FormPaint();
    void FormCloseQuery(bool& canClose);
    void EndClick();

    // ---- line (DispLine.cpp) ----------------------------------------------
    // Received bytes (any input) go to the core.
    void ComThread1PacketReceived(QObject* Sender, const QByteArray& buffer);

    // ---- time digits (display/DispTime.cpp) -------------------------------
    void GenauigkeitChange();
    void ZeitDarstellungChange();
    void SecModeClick();

    // ---- scoreboard fields (DispRank.cpp, DispNumber.cpp, DispPreset.cpp) ---
    int tableTime(int row, int column);       // milliseconds of a time table entry

    // ---- text fields (display/DispTextFields.cpp); n is 1..3 ---------------
    void Textfeld_setzen(int n, const QString& text);


    // ---- display mode (console/DispMode.cpp) -------------------------------
    struct WindowPlacement {
        Qt::WindowStates state;
        int width = 0, height = 0, left = 0, top = 0;  // outer bounds, frame included
        QRect client;  // the client area to give back (the normal one when maximised)
    };
    WindowPlacement Fensterlage;
    void StartClick();
    void Anzeige_beenden();
    // The setup controls that display mode hides, in groups 1 to 6.
    QList<QWidget*> setupGroup(int group) const;

    // ---- keyboard (console/DispKeys.cpp) ----------------------------------
    static uint16_t virtualKey(const QKeyEvent* e);

    // ---- placing with the mouse (console/DispMouse.cpp) -------------------
    // The canvas hands on the pointer's moves.
    void FormMouseMove(int x, int y);
    enum Movable { MoveTime, MoveRang, MoveNummer, MoveVorgabezeit, MoveText1, MoveText2, MoveText3,
                   MoveA1, MoveA2, MoveA3, MoveA4, MoveLogo1, MoveLogo2, MoveLogo3, kMovables };

    // ---- appearance controls (console/DispAppearance.cpp) ------------------

    // ---- serial line (serial/DispPort.cpp) --------------------------------
    TWComThread* ComThread1 = nullptr;
    void COMChange();
    QPushButton* PortSettings = nullptr;
    void PortSettingsClick();   // rate, data bits, stop bits; applied to the open port at once
    void refreshPortList();     // the list follows devices that come and go
    void selectStoredPort(int n, const QByteArray& text);  // COM key of disp.ini
    int linesReceived() const { return core_.linesReceived(); }

    // ---- inputs: the serial line or a device server (console/DispInput.cpp)
    class TcpInput* NetInput = nullptr;     // while a tcp:// entry of COM is chosen
    void selectStoredUrl(const QByteArray& text);  // COM key of disp.ini holding tcp://host:port
    static QString networkDeviceItem();            // the last entry of COM

    // ---- status line (console/DispStatus.cpp) ------------------------------
    QWidget* StatusLine = nullptr;
    void updateStatusLine();
    void setWebAddress(const QString& address) override;  // shown while not empty
    void setMqttStatus(const QString& text) override;     // the broker and its state, shown while not empty
    void setFollowStatus(const QString& text);   // a follower's source and its state, in place of the port's

    // ---- following another board (console/DispFollow.cpp) ------------------
    // Set before the window is made: the board shows the one at this URL,
    // opens no port and records nothing.
    static inline QString followUrl;

    // ---- language files (language/DispLanguage.cpp) -----------------------
    int Zeichensatz = 1;          // font character set number of the language file
    QString SprachdateiOrdner;    // where the language dialog starts: the program's folder
    void Sprache_laden();
    void LanguageClick();
    void SpracheSchreibenClick();
    QString languageText(const language::Line& line) const;  // what an export writes
    QList<QWidget*> movableElements() const;

    // ---- settings (settings/DispSettings.cpp) -----------------------------
    void Einstellungen_laden();
    void Einstellungen_speichern();

    // ---- the board for observers (display/DispBoard.cpp) ------------------
    BoardModel* boardModel() override;   // made at first use
    QWidget* noticeParent() override { return this; }
    OutputSettings outputSettings() const override {
        return {WebPort, WebListen, MqttHost, MqttPort, MqttTopic, MqttUser, MqttPassword};
    }
    int WebPort = 8080;         // web board port, 0: off
    QString WebListen = QStringLiteral("127.0.0.1");
    // The MQTT broker the board is published on; off while MqttHost is empty.
    QString MqttHost;
    int MqttPort = 1883;
    QString MqttTopic = QStringLiteral("timedisplay");  // the topics' prefix
    QString MqttUser, MqttPassword;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // ---- used only by the window itself ------------------------------------
    QPushButton* SchriftartRang = nullptr;
    QPushButton* RangHintergrund = nullptr;
    QPushButton* SchriftartNummer = nullptr;
    QPushButton* NummerHintergrund = nullptr;
    QPushButton* SchriftartZeit = nullptr;
    QPushButton* ZeitHintergrund = nullptr;
    QPushButton* SchriftartVorgabezeit = nullptr;
    QPushButton* VorgabezeitHintergrund = nullptr;
    QPushButton* SpracheSchreiben = nullptr;
    QLabel* XRang = nullptr;
    QLabel* YRang = nullptr;
    QLabel* XNummer = nullptr;
    QLabel* YNummer = nullptr;
    QLabel* XZeit = nullptr;
    QLabel* YZeit = nullptr;
    QLabel* XVorgabezeit = nullptr;
    QLabel* YVorgabezeit = nullptr;
    void FormClose();
    void TimeClick();
    void ZeitPixelversatzChange();
    void CheckBoxZClick();
    void Zeit_anordnen();
    void RangEndeChange();
    void CheckBoxRClick();
    void NummerEndeChange();
    void CheckBoxNClick();
    void Vorgabezeit_sichtbarClick();
    TSpreadsheet* timeTable() const;          // the time table, when its window exists
    void RandPixelChange(int n);             // T<n>RandPixelChange: places the shadow labels
    void Textfeld_ausrichtungChange(int n);  // Textfeld<n>_ausrichtungChange
    void Textfeld_HintergrundClick(int n);   // Textfeld<n>_HintergrundClick
    void Textfeld_SichtbarClick(int n);
    void Textfeld_SchriftartClick(int n);
    void Textfeld_HintergrundfarbeClick(int n);
    void Textfeld_SchattenfarbeClick(int n);
    int32_t shadowColour(int n) const;       // the font colour of the four shadow labels
    void HintergrundClick();
    void coverScreen();   // display mode: the whole screen the window is on (console/DispScreen.cpp)
    void keepOnScreen();  // a window off every screen comes back onto the nearest one
    int unframedChecks_ = 0;  // keepOnScreen again once the window manager has framed the window
    bool placementCorrected_ = false;  // keepOnScreen moved the window before it was framed
    std::array<uint16_t, 14> Tastencodes{};  // virtual-key codes of the hotkeys
    void FormKeyDown(uint16_t key);          // key: a Windows virtual-key code
    std::array<bool, kMovables> Verschiebemodus{};  // of each movable element: it follows the pointer
    void elementClick(Movable m);            // RangClick, Zeit_HzClick, ...
    void elementMouseMove(Movable m, int x, int y);
    void Positionen_anzeigen();              // the X and Y labels of every row
    void SchriftartZeitClick();
    void ZeitHintergrundClick();
    void SchriftartRangClick();
    void RangHintergrundClick();
    void SchriftartNummerClick();
    void NummerHintergrundClick();
    void SchriftartVorgabezeitClick();
    void VorgabezeitHintergrundClick();
    void SchriftartAClick(int n);            // SchriftartA<n>Click
    void AHintergrundClick(int n);           // A<n>HintergrundClick
    void A_sichtbarClick(int n);             // A<n>_sichtbarClick
    void Logo_sichtbarClick(int n);          // Logo<n>_sichtbarClick
    void createSerialLine();    // creates ComThread1, connects the line handler, fills COM
    void setSerialDefaults();   // 2400 baud, port 1, 8 data bits, 1 stop bit, no parity
    void openStoredPort();      // COMChange when the settings selected a port
    void closeSerialLine();     // closes an open port
    qint64 msSinceLastLine() const;  // -1 before the first line
    class SerialInput* SerialIn = nullptr;  // ComThread1 as an input
    void inputReceived(QObject* sender, const QByteArray& bytes);  // on to the line, one byte a call
    void openNetworkInput(const QString& url);
    void closeNetworkInput();
    void chooseNetworkDevice();                    // "Network device…": asks for host:port
    static int Sprachzeile_lesen(QIODevice& file, QByteArray& text);
    QByteArray settingsBytes();  // disp.ini as it would be written now
    void startSettingsAutosave();      // written within two seconds of a change
    class SaveWorker* settingsWriter() const { return iniWriter_; }
    void createDisplayElements();   // display/DispElements.cpp
    void createSetupControls();     // console/DispPanel.cpp
    QWidget* languageTarget(const char* name) const;
    void applyLanguageLine(const language::Line& line, const QString& text, const QByteArray& raw);
    void connectHotkeys();          // console/DispKeys.cpp
    bool hotkeyEvent(QObject* watched, QEvent* e);
    bool otherWindowHadKeyboard_ = false;  // a dialog of ours had the keyboard since the window had it
    void connectMouse();            // console/DispMouse.cpp
    QWidget* movableWidget(Movable m) const;
    void placeElement(Movable m, int left, int top);
    void loadPictures();            // display/DispElements.cpp
    void connectCore();             // DispLine.cpp: options, prompt, journal, drawing
    void syncTable();               // the core records in the time table window's sheet while it exists
    void boardValuesChanged(const BoardValuesPtr& values) override;
    void render(const BoardValues& v);
    BoardValues readLabels() const; // what the labels show, for the core's start
    void lineToJournal(const QByteArray& line, qint64 at);  // DispJournal.cpp
    std::optional<QString> askStartNumber();                // DispPrompt.cpp
    // Last colour chosen in each colour dialog, by dialog name (black at first use).
    std::optional<int32_t> chooseColour(const QString& dialog);
    void chooseBackground(const QList<DisplayLabel*>& targets, const QString& dialog);
    QHash<QString, int32_t> lastColours_;
    void updateScrollRange();
    void scheduleScrollRange();

    BoardCore core_;
    SpreadsheetTable table_;     // the time table window's sheet, while it exists
    BoardValuesPtr rendered_;    // what the labels show
    class QTimer* portListTimer_ = nullptr;
    class QTimer* statusTimer_ = nullptr;
    QString webAddress_;
    QString mqttStatus_;
    QString followStatus_;
    QPointer<QObject> statusTableSource_;  // the time table window the status line listens to
    void createStatusLine();
    std::shared_ptr<class LineJournal> journal_;  // made with the first line
    bool scrollRangeQueued_ = false;
    bool closed_ = false;
    bool askingToClose_ = false;  // the question about an unsaved table is open
    BoardModel* boardModel_ = nullptr;

    // settings/DispSettings.cpp: the state disp.ini holds, and its writer
    void settingsWritten(bool ok, const QByteArray& bytes, const QString& error);
    class QTimer* iniTimer_ = nullptr;
    class SaveWorker* iniWriter_ = nullptr;
    QByteArray iniOnDisk_;
    QString iniError_;
    QString iniAside_;  // where a disp.ini that is no settings file goes before it is replaced
};

// The one main window of the process.
extern Tdisplay* display;

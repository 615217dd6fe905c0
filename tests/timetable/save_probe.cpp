// Runs the main window and the time table in the working folder and does
// what its arguments say, printing what the operator would be told. Tests
// start it as another user (setpriv), which a test process cannot become.
//   edit:ROW:COL:TEXT   type into the time table
//   wait                wait for the saves under way
//   status              "status saved|failed|unchanged <reason>"
//   rank:X:Y            move the rank (a setting)
//   ini                 write disp.ini as at close
#include "common/Dialogs.h"
#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "timetable/Control.h"
#include "timetable/Spreadsheet.h"

#include <QApplication>
#include <cstdio>

namespace {
class PrintingDialogs : public SilentDialogs {
public:
    void error(QWidget*, const QString& text) override { print("error", text); }
    static void print(const char* what, QString text) {
        std::printf("%s %s\n", what, qPrintable(text.replace(u'\n', u'|')));
        std::fflush(stdout);
    }

protected:
    void showNotice(QWidget*, const QString&, const QString& text) override { print("notice", text); }
    void closeNotice(const QString& key) override { print("withdrawn", key); }
};
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingDialogs dialogs;
    Dialogs::install(&dialogs);
    {
        Tdisplay d;
        TTimeControl t(&d);
        for (int i = 1; i < argc; ++i) {
            const QStringList a = QString::fromLocal8Bit(argv[i]).split(u':');
            if (a[0] == "edit" && a.size() == 4) {
                t.TimeTable->setEntryRC(a[1].toInt(), a[2].toInt(), a[3]);
            } else if (a[0] == "wait") {
                t.waitForSaves();
            } else if (a[0] == "status") {
                const SaveStatus& s = t.saveStatus();
                const char* state = s.state == SaveStatus::Saved ? "saved" : s.state == SaveStatus::Failed ? "failed" : "unchanged";
                std::printf("status %s %s\n", state, qPrintable(s.reason));
            } else if (a[0] == "rank" && a.size() == 3) {
                d.Rang->move(a[1].toInt(), a[2].toInt());
            } else if (a[0] == "ini") {
                d.Einstellungen_speichern();
            } else {
                std::fprintf(stderr, "unknown step %s\n", argv[i]);
                return 2;
            }
            std::fflush(stdout);
        }
        Dialogs::install(&dialogs);
    }
    return 0;
}

#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The prompt for a finish time that arrived without a start number.
class TStartNumberForm : public QDialog {
    Q_OBJECT
public:
    explicit TStartNumberForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* StartNrE;
    QPushButton* OKButton;

    // Enter closes the prompt with OK; returns whether the key was taken.
    bool FormShortCut(int key);
    // Sets the question and widens the prompt until the whole text shows.
    void setQuestion(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

extern TStartNumberForm* StartNumberForm;

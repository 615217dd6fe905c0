#include "Startnumberunit.h"

#include "common/Fonts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>

TStartNumberForm* StartNumberForm = nullptr;

TStartNumberForm::TStartNumberForm(QWidget* parent) : QDialog(parent) {
    StartNumberForm = this;
    setObjectName("StartNumberForm");
    setWindowTitle("StartNumberForm");
    setFixedSize(176, 85);
    setFont(fonts::make(fonts::kDialog, 11, false));

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->move(24, 8);
    setQuestion("Bitte Startnummer eingeben:");

    // Up to three digits, right-aligned; the initial text is three blanks.
    StartNrE = new QLineEdit(this);
    StartNrE->setObjectName("StartNrE");
    StartNrE->setGeometry(41, 27, 56, 21);
    StartNrE->setMaxLength(3);
    StartNrE->setAlignment(Qt::AlignRight);
    StartNrE->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9 ]{0,3}"), StartNrE));
    StartNrE->setText("   ");

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(87, 54, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    StartNrE->setFocus();
}

void TStartNumberForm::setQuestion(const QString& text) {
    Label1->setText(text);
    Label1->adjustSize();
    // The substitute for the design font, or a language's longer question, may be
    // wider than the design: the whole text stays readable.
    setFixedSize(std::max(176, Label1->geometry().right() + 1 + 8), height());
}

bool TStartNumberForm::FormShortCut(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        accept();
        return true;
    }
    return false;
}

void TStartNumberForm::keyPressEvent(QKeyEvent* e) {
    if (!FormShortCut(e->key()))
        QDialog::keyPressEvent(e);
}

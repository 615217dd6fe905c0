#pragma once
#include <QComboBox>
#include <functional>

// The port list: looks for devices that came or went each time it opens.
class PortListBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

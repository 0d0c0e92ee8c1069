#pragma once

#include <cstdint>

#include "app/dialogs/DeskDialog.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace spinlorex {

class DialogHost;

// "Choose your configuration": the kind of sound card and what is plugged into it (two
// picture lists), the devices, and who mixes the decks. OK stores the "Output mode" and
// the device identifiers and rebuilds the audio engine at once; Cancel changes nothing.
class SoundConfigDialog : public DeskDialog {
public:
    static constexpr const char* kInvalidMessage =
        "Invalid configuration ! Please choose a valid combination.";
    static constexpr int kItemHeight = 90;

    explicit SoundConfigDialog(DialogHost& host);

    // The "Output mode" the controls describe, or -1 when the combination does not exist.
    int32_t chosenMode() const;

    // The controls, for the program's tests.
    QListWidget& cardList() { return *cards_; }
    QListWidget& outputList() { return *outputs_; }
    QComboBox& firstDevice() { return *device1_; }
    QComboBox& secondDevice() { return *device2_; }
    QLabel& secondDeviceLabel() { return *device2Label_; }
    QRadioButton& hardMix() { return *hard_; }
    QRadioButton& softMix() { return *soft_; }
    QPushButton& okButton() { return *ok_; }
    QPushButton& cancelButton() { return *cancel_; }

    // OK: applies the chosen configuration and closes with 1, or explains that there is
    // none and stays open.
    void accept() override;

private:
    void cardKindChanged();
    void outputKindChanged();
    void updateOk();
    void fillDevices();

    DialogHost& host_;
    QListWidget* cards_ = nullptr;
    QListWidget* outputs_ = nullptr;
    QComboBox* device1_ = nullptr;
    QComboBox* device2_ = nullptr;
    QLabel* device2Label_ = nullptr;
    QRadioButton* hard_ = nullptr;
    QRadioButton* soft_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Opens the dialog modally over the desk: 1 when the configuration was applied, 0 when
// cancelled.
int runSoundConfigDialog(DialogHost& host);

}  // namespace spinlorex

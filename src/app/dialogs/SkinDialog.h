#pragma once

#include <string>
#include <vector>

#include "app/dialogs/DeskDialog.h"

class QListWidget;
class QPushButton;

namespace spinlorex {

class DialogHost;

// The skins of a home folder: every name N for which "<home>/N.bmp" is a file and
// "<home>/N.ini" a readable file, sorted without regard to case.
std::vector<std::string> skinNames(const std::string& homeFolder);

// "Choose a skin": "(default)" and the skins of the home folder. OK builds the chosen skin
// and puts it on the desk; a skin the loader refuses is explained and the dialog stays
// open with the old skin in place.
class SkinDialog : public DeskDialog {
public:
    static constexpr const char* kDefaultItem = "(default)";

    explicit SkinDialog(DialogHost& host);

    QListWidget& list() { return *list_; }
    QPushButton& okButton() { return *ok_; }
    QPushButton& cancelButton() { return *cancel_; }

    void accept() override;

private:
    DialogHost& host_;
    QListWidget* list_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Opens the dialog modally over the desk: 1 when a new skin was applied, 0 when cancelled.
int runSkinDialog(DialogHost& host);

}  // namespace spinlorex

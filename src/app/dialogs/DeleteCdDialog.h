#pragma once

#include <string>

#include "app/dialogs/DeskDialog.h"

class QPushButton;
class QTreeWidget;

namespace spinlorex {

// "Delete a CD": one row per disc and per drive of the search file of a home folder, with
// its number of files ("Disc", "Files"). "Delete" removes every line of the selected rows
// and writes the file again (ending with success, 1); without a selected row it ends
// without success.
class DeleteCdDialog : public DeskDialog {
public:
    DeleteCdDialog(QWidget* desk, std::string homeFolder);

    QTreeWidget& discList() { return *list_; }
    QPushButton& deleteButton() { return *delete_; }

    void accept() override;

private:
    std::string home_;
    QTreeWidget* list_ = nullptr;
    QPushButton* delete_ = nullptr;
};

// The dialog over the desk, on the home folder of the settings; true when it deleted.
bool deleteCd(QWidget* desk);

}  // namespace spinlorex

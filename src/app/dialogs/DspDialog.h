#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/dialogs/DeskDialog.h"
#include "plugins/PluginLists.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace spinlorex {

class DeckPair;
class DialogHost;

// "Apply DSP-Plugins": for each deck, the plug-in files found in the plug-in folders
// ("(none)" first), the chosen file's effects and its "config" button. Every choice takes
// effect on the deck at once; "OK" closes.
class DspDialog : public DeskDialog {
public:
    // `folders`: where to look (pluginFolders of the home folder, by default).
    DspDialog(QWidget* desk, DeckPair& decks, const std::vector<std::string>& folders);

    QListWidget& pluginList(int deck) { return *groups_[static_cast<size_t>(deck)].plugins; }
    QComboBox& effectList(int deck) { return *groups_[static_cast<size_t>(deck)].effects; }
    QPushButton& configButton(int deck) { return *groups_[static_cast<size_t>(deck)].config; }

private:
    struct Group {
        QListWidget* plugins = nullptr;
        QComboBox* effects = nullptr;
        QPushButton* config = nullptr;
    };

    // The path of the plug-in list's selected item; empty for "(none)" or no selection.
    std::string selectedPath(int deck) const;
    void fillEffects(int deck, const std::string& path);
    void pluginChosen(int deck);
    void effectChosen(int deck);
    void configure(int deck);
    void giveDeck(int deck, const std::string& path, int moduleIndex);

    DeckPair& decks_;
    std::array<Group, 2> groups_{};
};

// Opens the dialog over the desk with the home folder's plug-in folders; returns 1.
int runDspDialog(DialogHost& host);

}  // namespace spinlorex

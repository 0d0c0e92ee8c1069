#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/dialogs/DeskDialog.h"
#include "midi/MidiActions.h"
#include "midi/MidiMessage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace spinlorex {

// What the controllers dialog needs of the program's controllers. Main thread.
class ControllerSource {
public:
    struct Controller {
        std::string port;
        std::string mappingPath;  // empty: no mapping matches the port
        bool shipped = false;     // the mapping is one installed with the program
    };
    using Learn = std::function<void(const std::string& port, const midi::MidiMessage&)>;

    virtual ~ControllerSource() = default;
    virtual std::vector<Controller> controllers() const = 0;
    // The next press or move of any controller goes to `learn` (once) instead of the desk;
    // an empty function stops waiting.
    virtual void learnNext(Learn learn) = 0;
    // A mapping file changed: the controllers read theirs again.
    virtual void mappingsChanged() = 0;
    // Where the user's own mappings are written.
    virtual std::string userFolder() const = 0;
};

// "Controllers": the controllers found with their mappings, and learn mode: pick an action
// (and its deck, hot cue or panel), press "Learn", move or press the control; its binding
// is appended to the controller's own mapping file (a shipped mapping is copied into the
// user's folder first, so its other bindings stay), which the user may edit afterwards.
class ControllersDialog : public DeskDialog {
public:
    ControllersDialog(QWidget* desk, ControllerSource& source);
    ~ControllersDialog() override;

    QListWidget& controllerList() { return *list_; }
    QComboBox& actionChoice() { return *action_; }
    QComboBox& deckChoice() { return *deck_; }
    QSpinBox& argumentChoice() { return *argument_; }
    QPushButton& learnButton() { return *learn_; }
    QLabel& status() { return *status_; }

    // The file a learned binding for `controller` goes to.
    static std::string learnedFile(const ControllerSource::Controller& controller,
                                   const std::string& userFolder);

private:
    void fillControllers();
    void actionChanged();
    void startLearning();
    void learned(const std::string& port, const midi::MidiMessage& message);

    ControllerSource& source_;
    QListWidget* list_ = nullptr;
    QComboBox* action_ = nullptr;
    QComboBox* deck_ = nullptr;
    QSpinBox* argument_ = nullptr;
    QPushButton* learn_ = nullptr;
    QLabel* status_ = nullptr;
};

// The dialog over the desk, modal. The options panel's "Controllers..." line calls it.
void showControllersDialog(QWidget* desk, ControllerSource& source);

}  // namespace spinlorex

#include "app/dialogs/ControllersDialog.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QFormLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include <cctype>
#include <filesystem>

#include "midi/Mapping.h"
#include "midi/MappingEngine.h"
#include "midi/MappingFolder.h"
#include "midi/MidiPorts.h"

namespace spinlorex {

namespace fs = std::filesystem;

namespace {
enum DeckChoice { kDeck1 = 0, kDeck2 = 1, kBothDecks = 2 };
}  // namespace

ControllersDialog::ControllersDialog(QWidget* desk, ControllerSource& source)
    : DeskDialog(desk, "Controllers"), source_(source) {
    list_ = new QListWidget;
    list_->setMinimumSize(420, 100);
    fillControllers();

    action_ = new QComboBox;
    std::size_t count = 0;
    const midi::ActionInfo* actions = midi::allActions(count);
    for (std::size_t i = 0; i < count; ++i)
        action_->addItem(QString::fromUtf8(actions[i].name.data(),
                                           static_cast<qsizetype>(actions[i].name.size())),
                         static_cast<int>(actions[i].action));
    deck_ = new QComboBox;
    deck_->addItems({"Deck 1", "Deck 2", "Both decks"});
    deck_->setCurrentIndex(kBothDecks);
    argument_ = new QSpinBox;
    learn_ = new QPushButton("Learn");
    status_ = new QLabel("Pick an action, press \"Learn\", then move or press the control.");
    status_->setWordWrap(true);
    connect(action_, &QComboBox::currentIndexChanged, this, [this] { actionChanged(); });
    connect(learn_, &QPushButton::clicked, this, [this] { startLearning(); });
    actionChanged();

    auto* form = new QFormLayout;
    form->addRow("Action", action_);
    form->addRow("Deck", deck_);
    form->addRow("Number", argument_);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(new QLabel("Controllers found"));
    layout->addWidget(list_);
    layout->addLayout(form);
    layout->addWidget(learn_, 0, Qt::AlignRight);
    layout->addWidget(status_);
    setFixedLayout(layout);
}

ControllersDialog::~ControllersDialog() { source_.learnNext({}); }

void ControllersDialog::fillControllers() {
    const int row = list_->currentRow();
    list_->clear();
    for (const ControllerSource::Controller& c : source_.controllers()) {
        const std::string text =
            c.port + "  —  " + (c.mappingPath.empty() ? std::string("no mapping") : c.mappingPath);
        auto* item = new QListWidgetItem(QString::fromStdString(text), list_);
        item->setData(Qt::UserRole, QString::fromStdString(c.port));
    }
    if (list_->count() == 0) {
        // Said rather than left blank: nothing to learn from until one is plugged in.
        auto* none = new QListWidgetItem("No controller found: plug one in (MIDI over USB)", list_);
        none->setFlags(Qt::NoItemFlags);
        return;
    }
    list_->setCurrentRow(row >= 0 && row < list_->count() ? row : 0);
}

void ControllersDialog::actionChanged() {
    const auto& info = midi::actionInfo(static_cast<midi::Action>(action_->currentData().toInt()));
    deck_->setEnabled(info.perDeck);
    argument_->setEnabled(info.maxArgument > 0);
    argument_->setRange(info.maxArgument > 0 ? 1 : 0, info.maxArgument);
}

void ControllersDialog::startLearning() {
    learn_->setEnabled(false);
    status_->setText("Move or press the control now...");
    source_.learnNext([this](const std::string& port, const midi::MidiMessage& message) {
        learned(port, message);
    });
}

std::string ControllersDialog::learnedFile(const ControllerSource::Controller& controller,
                                           const std::string& userFolder) {
    // The user's own file is written in place; a shipped one is copied into the user's
    // folder under its own name.
    if (!controller.mappingPath.empty())
        return controller.shipped
                   ? (fs::path(userFolder) / fs::path(controller.mappingPath).filename()).string()
                   : controller.mappingPath;
    std::string name = midi::MidiPorts::stableName(controller.port);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '-';
    return (fs::path(userFolder) / (name.empty() ? "controller" : name)).string() + ".map";
}

void ControllersDialog::learned(const std::string& port, const midi::MidiMessage& message) {
    learn_->setEnabled(true);
    const auto action = static_cast<midi::Action>(action_->currentData().toInt());
    const auto& info = midi::actionInfo(action);
    const int choice = info.perDeck ? deck_->currentIndex() : kDeck1;
    const std::optional<midi::Binding> binding =
        midi::learnedBinding(message, action, choice == kDeck2 ? 1 : 0,
                             info.maxArgument > 0 ? argument_->value() : 0, choice == kBothDecks);
    if (!binding) {
        status_->setText(QString::fromStdString("That control (" + midi::hexBytes(message) +
                                                ") cannot drive " + std::string(info.name) +
                                                "; press \"Learn\" and try another."));
        return;
    }
    ControllerSource::Controller controller{port, {}, false};
    for (const ControllerSource::Controller& c : source_.controllers())
        if (c.port == port) controller = c;
    const std::string path = learnedFile(controller, source_.userFolder());
    std::error_code error;
    if (controller.shipped && !fs::exists(path, error)) {
        fs::create_directories(fs::path(path).parent_path(), error);
        fs::copy_file(controller.mappingPath, path, error);  // else a new file is begun
    }
    std::string why;
    if (!midi::appendToMapping(path, port, midi::bindingLine(*binding), why)) {
        status_->setText(QString::fromStdString("Not saved: " + why));
        return;
    }
    source_.mappingsChanged();
    fillControllers();
    status_->setText(QString::fromStdString("Bound " + midi::describeBinding(*binding) + " to " +
                                            midi::hexBytes(message) + " in " + path));
}

void showControllersDialog(QWidget* desk, ControllerSource& source) {
    ControllersDialog dialog(desk, source);
    dialog.exec();
}

}  // namespace spinlorex

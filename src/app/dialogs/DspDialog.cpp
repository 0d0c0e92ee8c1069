#include "app/dialogs/DspDialog.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>

#include "app/dialogs/DialogHost.h"
#include "audio/DeckPair.h"
#include "platform/settings/Settings.h"
#include "plugins/DspPlugin.h"

namespace spinlorex {
namespace {
constexpr int kPathRole = Qt::UserRole;
}

DspDialog::DspDialog(QWidget* desk, DeckPair& decks, const std::vector<std::string>& folders)
    : DeskDialog(desk, "Apply DSP-Plugins"), decks_(decks) {
    std::vector<PluginChoice> choices = scanPlugins(folders);
    // The lists are sorted by description, "(none)" always on top.
    std::stable_sort(
        choices.begin(), choices.end(), [](const PluginChoice& a, const PluginChoice& b) {
            return QString::fromStdString(a.description)
                       .compare(QString::fromStdString(b.description), Qt::CaseInsensitive) < 0;
        });

    auto* columns = new QHBoxLayout;
    for (int d = 0; d < 2; ++d) {
        Group& g = groups_[static_cast<size_t>(d)];
        auto* box = new QGroupBox(QString("Desk %1").arg(d + 1));
        auto* layout = new QVBoxLayout(box);
        g.plugins = new QListWidget;
        g.plugins->setMinimumWidth(220);
        g.plugins->addItem("(none)");
        for (const PluginChoice& c : choices) {
            auto* item = new QListWidgetItem(QString::fromStdString(c.description));
            item->setData(kPathRole, QString::fromStdString(c.path));
            g.plugins->addItem(item);
        }
        g.effects = new QComboBox;
        g.config = new QPushButton("config");
        layout->addWidget(g.plugins);
        layout->addWidget(g.effects);
        layout->addWidget(g.config, 0, Qt::AlignRight);
        columns->addWidget(box);

        // The opening choice: the deck's current plug-in and module, else "(none)". Set
        // without the change reactions, which would replace the deck's plug-in.
        g.plugins->setCurrentRow(0);
        if (const auto* current = dynamic_cast<const DspPlugin*>(decks_[d].dspPlugin())) {
            for (int row = 1; row < g.plugins->count(); ++row) {
                if (g.plugins->item(row)->data(kPathRole).toString().toStdString() !=
                    current->path())
                    continue;
                g.plugins->setCurrentRow(row);
                fillEffects(d, current->path());
                g.effects->setCurrentIndex(current->moduleIndex());
                break;
            }
        }
        connect(g.plugins, &QListWidget::currentRowChanged, this, [this, d] { pluginChosen(d); });
        connect(g.effects, &QComboBox::activated, this, [this, d] { effectChosen(d); });
        connect(g.config, &QPushButton::clicked, this, [this, d] { configure(d); });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout;
    layout->addLayout(columns);
    layout->addWidget(buttons);
    setFixedLayout(layout);
}

std::string DspDialog::selectedPath(int deck) const {
    const QListWidget& list = *groups_[static_cast<size_t>(deck)].plugins;
    const QListWidgetItem* item = list.currentItem();
    if (item == nullptr || list.currentRow() <= 0) return {};
    return item->data(kPathRole).toString().toStdString();
}

void DspDialog::fillEffects(int deck, const std::string& path) {
    QComboBox& effects = *groups_[static_cast<size_t>(deck)].effects;
    const QSignalBlocker quiet(effects);
    effects.clear();
    std::vector<std::string> modules;
    if (!path.empty() && listModules(path, modules))
        for (const std::string& m : modules) effects.addItem(QString::fromStdString(m));
    if (effects.count() > 0) effects.setCurrentIndex(0);
}

void DspDialog::giveDeck(int deck, const std::string& path, int moduleIndex) {
    // A file whose module will not start leaves the deck without an effect.
    std::unique_ptr<DspPlugin> plugin =
        path.empty() ? nullptr : makeDspPlugin(path, moduleIndex, parentWidget());
    decks_[deck].setDspPlugin(std::move(plugin));
}

void DspDialog::pluginChosen(int deck) {
    const std::string path = selectedPath(deck);
    fillEffects(deck, path);
    giveDeck(deck, path, 0);
}

void DspDialog::effectChosen(int deck) {
    const std::string path = selectedPath(deck);
    const int index = std::max(0, groups_[static_cast<size_t>(deck)].effects->currentIndex());
    giveDeck(deck, path, index);
}

void DspDialog::configure(int deck) {
    if (auto* plugin = dynamic_cast<DspPlugin*>(decks_[deck].dspPlugin())) plugin->configure();
}

int runDspDialog(DialogHost& host) {
    DeckPair* decks = host.decks();
    if (decks == nullptr) return 1;
    DspDialog dialog(host.deskWindow(), *decks, pluginFolders(settings().homeFolder));
    dialog.exec();
    return 1;
}

}  // namespace spinlorex

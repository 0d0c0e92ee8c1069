#include "app/dialogs/SkinDialog.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/dialogs/DialogHost.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"

namespace fs = std::filesystem;

namespace spinlorex {
namespace {

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool readable(const fs::path& path) {
    return isFile(path) && std::ifstream(path, std::ios::binary).is_open();
}

}  // namespace

std::vector<std::string> skinNames(const std::string& homeFolder) {
    static constexpr std::string_view kPicture = ".bmp";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(homeFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        // The loader opens "<name>.bmp" itself, so the suffix is matched exactly; a bare
        // ".bmp" names no skin.
        if (file.size() <= kPicture.size() || !file.ends_with(kPicture)) continue;
        if (!isFile(it->path())) continue;
        std::string name = file.substr(0, file.size() - kPicture.size());
        if (readable(fs::path(homeFolder) / (name + ".ini"))) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int byCase =
            QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : a < b;
    });
    return names;
}

SkinDialog::SkinDialog(DialogHost& host)
    : DeskDialog(host.deskWindow(), "Choose a skin"), host_(host) {
    auto* question = new QLabel("Skins of the home folder:");
    list_ = new QListWidget;
    question->setBuddy(list_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->addItem(kDefaultItem);
    for (const std::string& name : skinNames(settings().homeFolder))
        list_->addItem(QString::fromStdString(name));
    // The current skin, found as the first name it begins (an empty setting: the default).
    const QString current = QString::fromStdString(settings().skin);
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->text().startsWith(current, Qt::CaseInsensitive)) {
            list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            break;
        }
    }
    list_->setMinimumSize(220, 200);

    auto* buttons = new QDialogButtonBox;
    ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &SkinDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SkinDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(question);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    setFixedLayout(layout);
}

void SkinDialog::accept() {
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) return;
    const QString text = chosen.first()->text();
    const std::string name = text == kDefaultItem ? std::string() : text.toStdString();

    bool applied = false;
    {
        const RhythmPause pause(host_);
        applied = host_.applySkin(name);
    }
    if (!applied) {
        const char* reason = fatalError();
        QMessageBox message(QMessageBox::Critical, "Spinlorex",
                            reason != nullptr ? reason : "Invalid skin file", QMessageBox::Ok,
                            this);
        message.exec();
        clearFatalError();
        return;
    }
    settings().skin = name;
    done(1);
}

int runSkinDialog(DialogHost& host) {
    SkinDialog dialog(host);
    return dialog.exec();
}

}  // namespace spinlorex

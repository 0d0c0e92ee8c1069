#include "app/dialogs/DeleteCdDialog.h"

#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTreeWidget>
#include <QtWidgets/QVBoxLayout>

#include <vector>

#include "app/dialogs/StopWindow.h"
#include "library/ScanJob.h"
#include "library/SearchIndex.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

constexpr int kKeyRole = Qt::UserRole;

}  // namespace

DeleteCdDialog::DeleteCdDialog(QWidget* desk, std::string homeFolder)
    : DeskDialog(desk, "Delete a CD"), home_(std::move(homeFolder)) {
    auto* question = new QLabel("Select the discs and drives whose files you want to delete");
    list_ = new QTreeWidget;
    question->setBuddy(list_);
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Disc", "Files"});
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, 200);
    list_->setColumnWidth(1, 50);
    list_->setMinimumSize(276, 200);

    SearchIndex index(home_);
    runOnWorker(*this, [&index] { index.load(); });
    for (const DiscRow& row : discRows(index)) {
        // The exact bytes stay with the row; the text only shows them.
        const QByteArray key(row.key.data(), static_cast<qsizetype>(row.key.size()));
        auto* item =
            new QTreeWidgetItem(list_, {QString::fromUtf8(key), QString::number(row.lines)});
        item->setData(0, kKeyRole, key);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }

    delete_ = new QPushButton("Delete");
    delete_->setDefault(true);
    connect(delete_, &QPushButton::clicked, this, &DeleteCdDialog::accept);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(question);
    layout->addWidget(list_);
    layout->addWidget(delete_, 0, Qt::AlignRight);
    setFixedLayout(layout);
}

void DeleteCdDialog::accept() {
    const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        done(0);
        return;
    }
    std::vector<std::string> keys;
    for (const QTreeWidgetItem* item : chosen)
        keys.push_back(item->data(0, kKeyRole).toByteArray().toStdString());
    // Read and rewritten on a worker: a file of many drives takes a while. A file that
    // cannot be read is left alone; one that cannot be written stays as it was.
    runOnWorker(*this, [this, &keys] {
        SearchIndex index(home_);
        if (index.load() == SearchIndex::LoadResult::Loaded) deleteDiscs(index, keys);
    });
    done(1);
}

bool deleteCd(QWidget* desk) {
    DeleteCdDialog dialog(desk, settings().homeFolder);
    return dialog.exec() == 1;
}

}  // namespace spinlorex

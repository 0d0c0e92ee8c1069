#include "app/dialogs/InfoDialogs.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include "app/dialogs/DialogHost.h"
#include "app/dialogs/DspDialog.h"
#include "app/dialogs/SkinDialog.h"
#include "app/dialogs/SoundConfigDialog.h"

namespace spinlorex {

QString aboutText() {
    return QStringLiteral("Spinlorex v%1\n---------\n\n").arg("1.12") +
           QStringLiteral(
               "A two-deck mixing desk that listens to the beat of your MP3 and WAV files.\n"
               "Free software, made with care for DJs on Linux.\n\n"
               "News, skins and help: https://spinlorex.org");
}

void showAboutBox(QWidget* desk) {
    QMessageBox box(QMessageBox::NoIcon, "Spinlorex", aboutText(), QMessageBox::Ok, desk);
    box.exec();
}

ShortcutCard::ShortcutCard(QWidget* desk) : DeskDialog(desk, "Shortcuts") {
    // Each "label<TAB>key" line becomes a row, so the keys line up whatever the font.
    auto* columns = new QHBoxLayout;
    columns->setSpacing(36);
    for (const char* text : {kLeftColumn, kRightColumn, kLoopColumn}) {
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(14);
        grid->setVerticalSpacing(2);
        const QStringList lines = QString::fromLatin1(text).split('\n');
        for (int row = 0; row < lines.size(); ++row) {
            const QStringList parts = lines[row].split('\t');
            for (int column = 0; column < 2; ++column) {
                auto* part = new QLabel(
                    column < parts.size() && !parts[column].isEmpty() ? parts[column] : " ");
                part->setTextFormat(Qt::PlainText);
                grid->addWidget(part, row, column);
            }
        }
        columns->addLayout(grid);
    }
    auto* buttons = new QDialogButtonBox;
    buttons->setCenterButtons(true);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(14);
    layout->addLayout(columns);
    layout->addWidget(buttons);
    setFixedLayout(layout);
}

void showShortcutCard(QWidget* desk) {
    ShortcutCard card(desk);
    card.exec();
}

void openOptionDialog(DialogHost& host, int optionId) {
    switch (optionId) {
        case 78:
            runSkinDialog(host);
            break;
        case 80:
            runSoundConfigDialog(host);
            break;
        case 81:
            showAboutBox(host.deskWindow());
            break;
        case 83:
            showShortcutCard(host.deskWindow());
            break;
        case 79:
            runDspDialog(host);
            break;
        default:
            break;
    }
}

}  // namespace spinlorex

#include <gtest/gtest.h>

#include <QtWidgets/QPushButton>

#include "app/dialogs/DialogFixture.h"
#include "app/dialogs/InfoDialogs.h"
#include "app/dialogs/SkinDialog.h"
#include "app/dialogs/SoundConfigDialog.h"

namespace spinlorex {
namespace {

using OptionDialogTest = test::DialogTest;

TEST_F(OptionDialogTest, OptionLinesOpenTheirDialogs) {
    const auto about = test::answerNextMessage();
    openOptionDialog(host, 81);
    EXPECT_EQ(about->title, "Spinlorex");
    EXPECT_TRUE(about->text.startsWith("Spinlorex v1.12\n---------\n\n"));
    EXPECT_TRUE(about->text.contains("https://spinlorex.org"));
    EXPECT_EQ(about->parent, &host.desk);

    QString title;
    test::withNextModal<ShortcutCard>([&title](ShortcutCard& card) {
        title = card.windowTitle();
        card.findChild<QPushButton*>()->click();
    });
    openOptionDialog(host, 83);
    EXPECT_EQ(title, "Shortcuts");

    test::withNextModal<SkinDialog>([](SkinDialog& d) { d.cancelButton().click(); });
    openOptionDialog(host, 78);
    test::withNextModal<SoundConfigDialog>([](SoundConfigDialog& d) { d.cancelButton().click(); });
    openOptionDialog(host, 80);
    EXPECT_TRUE(host.calls.empty());

    openOptionDialog(host, 79);  // the plug-ins' dialog is not one of these
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace spinlorex

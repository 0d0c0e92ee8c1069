#include <gtest/gtest.h>

#include <QtWidgets/QLabel>

#include "app/dialogs/DeskDialog.h"
#include "app/dialogs/DialogFixture.h"

namespace spinlorex {
namespace {

using DeskDialogTest = test::DialogTest;

TEST_F(DeskDialogTest, CentringHalvesTowardsZero) {
    QWidget main;
    main.setGeometry(100, 50, 800, 600);
    QWidget dialog;
    dialog.resize(301, 201);
    centreDialog(dialog, main);
    EXPECT_EQ(dialog.pos(), QPoint(349, 249));
    EXPECT_EQ(dialog.size(), QSize(301, 201));

    // Off the left of the screen: -503 / 2 is -251, not -252.
    main.setGeometry(-501, -41, 800, 600);
    centreDialog(dialog, main);
    EXPECT_EQ(dialog.pos(), QPoint(-251, 158));
}

TEST_F(DeskDialogTest, YesNoQuestionIsCentredAndAnswers) {
    const std::string question =
        "The music is still playing!\nAre you sure you want to quit Spinlorex?";
    {
        YesNoDialog dialog(&host.desk, question);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Spinlorex");
        const QRect frame = dialog.frameGeometry();
        EXPECT_EQ(frame.topLeft(),
                  QPoint((100 + 900 - frame.width()) / 2, (50 + 650 - frame.height()) / 2));
        const QLabel* text = dialog.findChild<QLabel*>();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text().toStdString(), question);
        EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);
        dialog.yesButton().click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    test::withNextModal<YesNoDialog>([](YesNoDialog& d) { d.noButton().click(); });
    EXPECT_FALSE(askYesNo(&host.desk, question));
    test::withNextModal<YesNoDialog>([](YesNoDialog& d) { d.yesButton().click(); });
    EXPECT_TRUE(askYesNo(&host.desk, question));
}

}  // namespace
}  // namespace spinlorex

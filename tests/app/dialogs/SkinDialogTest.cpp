#include <gtest/gtest.h>

#include <QtGui/QImage>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>

#include <filesystem>

#include "app/dialogs/DialogFixture.h"
#include "app/dialogs/SkinDialog.h"

namespace spinlorex {
namespace {

const std::string kGoodDescription = "Version=1\n[files window]\nPos=100,200,600,320\n";

class SkinDialogTest : public test::DialogTest {
protected:
    void writePicture(const std::string& file) {
        QImage picture(100, 80, QImage::Format_RGB32);
        picture.fill(0x336699);
        ASSERT_TRUE(picture.save(QString::fromStdString(homeDir.file(file)), "BMP"));
    }
    void writeText(const std::string& file, const std::string& text) {
        test::writeFile(homeDir.file(file), test::Bytes(text.begin(), text.end()));
    }
    void writeSkin(const std::string& name, const std::string& description = kGoodDescription) {
        writePicture(name + ".bmp");
        writeText(name + ".ini", description);
    }
    static QStringList items(const QListWidget& list) {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
        return texts;
    }
    static QString selected(const QListWidget& list) {
        const QList<QListWidgetItem*> chosen = list.selectedItems();
        return chosen.isEmpty() ? QString("(nothing)") : chosen.first()->text();
    }
};

TEST_F(SkinDialogTest, ListsSkinsWithBothFilesAndSelectsTheCurrentOne) {
    writePicture("Lonely.bmp");
    EXPECT_TRUE(skinNames(settings().homeFolder).empty());  // a picture alone is no skin
    {
        SkinDialog dialog(host);
        EXPECT_EQ(items(dialog.list()), QStringList{"(default)"});
    }

    writeSkin("beta");
    writeSkin("Alpha");
    writeText("Other.ini", kGoodDescription);
    writeSkin("zeta");
    std::filesystem::rename(homeDir.file("zeta.bmp"),
                            homeDir.file("zeta.BMP"));  // not what the loader opens
    writeText(".bmp", "");
    writeText(".ini", "");
    std::filesystem::create_directory(homeDir.file("Folder.bmp"));
    writeText("Folder.ini", kGoodDescription);

    settings().skin = "BET";
    SkinDialog dialog(host);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Choose a skin");
    EXPECT_EQ(items(dialog.list()), (QStringList{"(default)", "Alpha", "beta"}));
    EXPECT_EQ(selected(dialog.list()), "beta");

    dialog.okButton().click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(settings().skin, "beta");
    EXPECT_EQ(host.currentSkin, "beta");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"suspend", "skin beta", "resume"}));

    settings().skin = "";
    EXPECT_EQ(selected(SkinDialog(host).list()), "(default)");
    // A skin that is gone selects nothing, and OK then does nothing.
    settings().skin = "Gone";
    host.calls.clear();
    SkinDialog again(host);
    again.show();
    EXPECT_EQ(selected(again.list()), "(nothing)");
    again.okButton().click();
    EXPECT_TRUE(again.isVisible());
    EXPECT_TRUE(host.calls.empty());
    again.reject();
}

TEST_F(SkinDialogTest, RefusedSkinIsExplainedAndTheOldOneStays) {
    writeSkin("Good");
    writeSkin("NoFiles", "Version=1\n");
    settings().skin = "Good";
    host.currentSkin = "Good";
    SkinDialog dialog(host);
    dialog.show();

    dialog.list().setCurrentRow(static_cast<int>(items(dialog.list()).indexOf("NoFiles")));
    const auto seen = test::answerNextMessage();
    dialog.okButton().click();
    EXPECT_EQ(seen->title, "Spinlorex");
    EXPECT_EQ(seen->text, "Invalid skin file");
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
    EXPECT_EQ(seen->parent, &dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_EQ(settings().skin, "Good");
    EXPECT_EQ(host.currentSkin, "Good");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"suspend", "skin NoFiles", "resume"}));

    // "(default)" is the built-in skin, stored as an empty name.
    dialog.list().setCurrentRow(0);
    dialog.okButton().click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings().skin, "");
    EXPECT_EQ(host.currentSkin, "");
}

}  // namespace
}  // namespace spinlorex

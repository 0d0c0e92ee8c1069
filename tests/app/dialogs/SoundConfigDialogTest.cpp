#include <gtest/gtest.h>

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>

#include "app/dialogs/DialogFixture.h"
#include "app/dialogs/SoundConfigDialog.h"
#include "audio/OutputModes.h"

namespace spinlorex {
namespace {

constexpr sound::DeviceId kUsb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr sound::DeviceId kAnalog = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                                     0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
constexpr sound::DeviceId kUnplugged = {9};

class SoundConfigDialogTest : public test::DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        host.devices = {{"Default output", std::nullopt, true},
                        {"USB Audio", kUsb},
                        {"analog stereo", kAnalog}};
    }
    static int row(const QListWidget& list) {
        const QList<QListWidgetItem*> items = list.selectedItems();
        return items.isEmpty() ? -1 : list.row(items.first());
    }
    static void choose(QComboBox& devices, const char* name) {
        devices.setCurrentIndex(devices.findText(name));
    }
    static bool red(const QImage& image, int x, int y) {
        return (image.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    }
};

TEST_F(SoundConfigDialogTest, OpensOnTheStoredConfiguration) {
    set(settings().outputMode, 2);
    settings().soundCardGuid = kUsb;
    settings().soundCard2Guid = kAnalog;
    SoundConfigDialog dialog(host);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle(), "Choose your configuration");
    EXPECT_EQ(row(dialog.cardList()), kTwoCards);
    EXPECT_EQ(row(dialog.outputList()), kExternalMixer);
    EXPECT_FALSE(dialog.softMix().isEnabled());
    EXPECT_TRUE(dialog.hardMix().isChecked());
    EXPECT_TRUE(dialog.secondDevice().isVisible());
    EXPECT_TRUE(dialog.secondDeviceLabel().isVisible());
    EXPECT_EQ(dialog.secondDeviceLabel().text(), "Sound Card 2");
    EXPECT_TRUE(dialog.okButton().isEnabled());
    // Both device lists sorted without case, the stored devices selected.
    for (QComboBox* list : {&dialog.firstDevice(), &dialog.secondDevice()}) {
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(0), "analog stereo");
        EXPECT_EQ(list->itemText(1), "Default output");
    }
    EXPECT_EQ(dialog.firstDevice().currentText(), "USB Audio");
    EXPECT_EQ(dialog.secondDevice().currentText(), "analog stereo");

    // The picture lists hold their pictures exactly; the selected one is framed in red,
    // with rounded corners.
    EXPECT_EQ(dialog.cardList().viewport()->size(), QSize(87, 270));
    EXPECT_EQ(dialog.outputList().viewport()->size(), QSize(105, 270));
    const QImage cards = dialog.cardList().viewport()->grab().toImage();
    EXPECT_TRUE(red(cards, 1, 2 * 90 + 45));
    EXPECT_TRUE(red(cards, 85, 2 * 90 + 45));
    EXPECT_TRUE(red(cards, 43, 2 * 90 + 88));
    EXPECT_FALSE(red(cards, 0, 2 * 90));
    EXPECT_FALSE(red(cards, 1, 45));
}

TEST_F(SoundConfigDialogTest, OkFollowsTheCombinationAndDefaultDevicesStayAbsent) {
    settings().soundCard1Guid = kUsb;
    settings().soundCard2Guid = kUnplugged;
    SoundConfigDialog dialog(host);
    dialog.show();
    EXPECT_EQ(row(dialog.cardList()), kOneCard);
    EXPECT_EQ(row(dialog.outputList()), kSpeakers);
    EXPECT_TRUE(dialog.hardMix().isChecked());
    EXPECT_FALSE(dialog.secondDevice().isVisible());
    // Nothing stored, or a device that is gone: no selection.
    EXPECT_EQ(dialog.firstDevice().currentIndex(), -1);
    EXPECT_EQ(dialog.secondDevice().currentIndex(), -1);
    const QSize size = dialog.size();

    dialog.cardList().setCurrentRow(kThreeDCard);
    EXPECT_FALSE(dialog.okButton().isEnabled());
    dialog.outputList().setCurrentRow(kSpeakersAndHeadphones);
    EXPECT_TRUE(dialog.okButton().isEnabled());
    dialog.cardList().setCurrentRow(kTwoCards);
    EXPECT_TRUE(dialog.secondDevice().isVisible());
    EXPECT_TRUE(dialog.secondDeviceLabel().isVisible());
    dialog.outputList().setCurrentRow(kSpeakers);
    EXPECT_FALSE(dialog.okButton().isEnabled());
    dialog.cardList().setCurrentRow(kOneCard);
    EXPECT_FALSE(dialog.secondDevice().isVisible());
    EXPECT_TRUE(dialog.okButton().isEnabled());
    dialog.softMix().click();
    EXPECT_TRUE(dialog.okButton().isEnabled());
    EXPECT_EQ(dialog.size(), size);

    // The default device, like no selection, leaves its identifiers absent.
    choose(dialog.firstDevice(), "Default output");
    dialog.okButton().click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(get(settings().outputMode), 1);
    EXPECT_FALSE(settings().soundCardGuid.has_value());
    EXPECT_FALSE(settings().soundCard1Guid.has_value());
    EXPECT_FALSE(settings().soundCard2Guid.has_value());
}

TEST_F(SoundConfigDialogTest, TwoCardsOnAnExternalMixerWithSoftCheckedBecomeMode2) {
    set(settings().outputMode, 1);  // one card, speakers, soft
    SoundConfigDialog dialog(host);
    dialog.show();
    ASSERT_TRUE(dialog.softMix().isChecked());
    dialog.cardList().setCurrentRow(kTwoCards);
    EXPECT_FALSE(dialog.okButton().isEnabled());
    dialog.outputList().setCurrentRow(kExternalMixer);
    EXPECT_FALSE(dialog.softMix().isEnabled());
    EXPECT_TRUE(dialog.softMix().isChecked());
    EXPECT_TRUE(dialog.okButton().isEnabled());
    choose(dialog.firstDevice(), "USB Audio");
    choose(dialog.secondDevice(), "analog stereo");

    dialog.okButton().click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(get(settings().outputMode), 2);
    EXPECT_EQ(settings().soundCardGuid, kUsb);
    EXPECT_EQ(settings().soundCard1Guid, kUsb);
    EXPECT_EQ(settings().soundCard2Guid, kAnalog);
    // The engine is rebuilt from the new settings, with the rhythm strip held.
    EXPECT_EQ(host.calls, (std::vector<std::string>{"suspend", "rebuild", "resume"}));
    EXPECT_EQ(host.modeAtRebuild, 2);
}

TEST_F(SoundConfigDialogTest, CancelAfterChangingEverythingChangesNothing) {
    settings().soundCardGuid = kUsb;
    settings().soundCard1Guid = kUsb;
    settings().soundCard2Guid = kAnalog;
    SoundConfigDialog dialog(host);
    dialog.show();
    dialog.cardList().setCurrentRow(kTwoCards);
    dialog.outputList().setCurrentRow(kSpeakersAndHeadphones);
    dialog.softMix().click();
    choose(dialog.firstDevice(), "Default output");
    choose(dialog.secondDevice(), "USB Audio");
    dialog.cancelButton().click();

    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(get(settings().outputMode), 0);
    EXPECT_EQ(settings().soundCardGuid, kUsb);
    EXPECT_EQ(settings().soundCard1Guid, kUsb);
    EXPECT_EQ(settings().soundCard2Guid, kAnalog);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(SoundConfigDialogTest, OkWithoutCombinationExplainsAndStaysOpen) {
    SoundConfigDialog dialog(host);
    dialog.show();
    dialog.cardList().setCurrentRow(kThreeDCard);
    ASSERT_FALSE(dialog.okButton().isEnabled());
    const auto seen = test::answerNextMessage();
    dialog.accept();  // as a key press that got past the disabled button would

    EXPECT_EQ(seen->title, "Spinlorex");
    EXPECT_EQ(seen->text, SoundConfigDialog::kInvalidMessage);
    EXPECT_EQ(seen->parent, &dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(get(settings().outputMode), 0);
    dialog.reject();
}

}  // namespace
}  // namespace spinlorex

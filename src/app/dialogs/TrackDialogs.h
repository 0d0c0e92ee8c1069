#pragma once

#include <array>
#include <optional>

#include "app/dialogs/DeskDialog.h"

class QLineEdit;
class QPushButton;

namespace spinlorex {

// "Bpm": a track's tempo, typed or corrected. The edit shows the tempo with one decimal,
// all selected; four buttons put twice, half, three halves and two thirds of the tempo
// shown into the edit (an analyser's usual misreadings of a beat).
class BpmDialog : public DeskDialog {
public:
    static constexpr const char* kQuestion = "Tempo of the track (beats per minute):";
    BpmDialog(QWidget* desk, float bpm);

    QLineEdit& edit() { return *edit_; }
    // 0: x2, 1: /2, 2: x3/2, 3: x2/3.
    QPushButton& factorButton(int i) { return *factors_[static_cast<size_t>(i)]; }
    QPushButton& okButton() { return *ok_; }

private:
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::array<QPushButton*, 4> factors_{};
};

// "Comment": a track's comment, all selected; at most 255 characters.
class CommentDialog : public DeskDialog {
public:
    static constexpr const char* kQuestion = "Comment on the track:";
    static constexpr int kMaxLength = 255;
    CommentDialog(QWidget* desk, const QString& comment);

    QLineEdit& edit() { return *edit_; }
    QPushButton& okButton() { return *ok_; }

private:
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Asks modally; the text of the edit on OK, nothing on Cancel.
std::optional<QString> askBpm(QWidget* desk, float bpm);
std::optional<QString> askComment(QWidget* desk, const QString& comment);

}  // namespace spinlorex

#include "app/dialogs/TrackDialogs.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

namespace spinlorex {

namespace {

QString oneDecimal(double value) { return QString::asprintf("%.1f", value); }

// The text above the edit saying what it asks for.
void addQuestion(QVBoxLayout& layout, const char* text, QLineEdit* edit) {
    auto* label = new QLabel(text);
    label->setBuddy(edit);
    layout.addWidget(label);
}

// The OK and Cancel row; OK is the default button.
QPushButton* addOkCancel(QDialog& dialog, QVBoxLayout& layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    layout.addWidget(buttons);
    return ok;
}

}  // namespace

BpmDialog::BpmDialog(QWidget* desk, float bpm) : DeskDialog(desk, "Bpm") {
    edit_ = new QLineEdit(oneDecimal(bpm));
    edit_->setMinimumWidth(150);
    auto* layout = new QVBoxLayout;
    addQuestion(*layout, kQuestion, edit_);
    layout->addWidget(edit_);

    auto* row = new QHBoxLayout;
    static const char* const kLabels[] = {"x2", "/2", "x3/2", "x2/3"};
    static const double kFactors[] = {2.0, 0.5, 1.5, 2.0 / 3.0};
    for (size_t i = 0; i < factors_.size(); ++i) {
        auto* button = new QPushButton(kLabels[i]);
        button->setAutoDefault(false);
        const double factor = kFactors[i];
        connect(button, &QPushButton::clicked, this, [this, factor] {
            edit_->setText(oneDecimal(edit_->text().left(9).toDouble() * factor));
            edit_->selectAll();
            edit_->setFocus();
        });
        row->addWidget(button);
        factors_[i] = button;
    }
    layout->addLayout(row);
    ok_ = addOkCancel(*this, *layout);
    setFixedLayout(layout);
    edit_->selectAll();
    edit_->setFocus();
}

CommentDialog::CommentDialog(QWidget* desk, const QString& comment) : DeskDialog(desk, "Comment") {
    edit_ = new QLineEdit(comment);
    edit_->setMaxLength(kMaxLength);
    edit_->setMinimumWidth(320);
    auto* layout = new QVBoxLayout;
    addQuestion(*layout, kQuestion, edit_);
    layout->addWidget(edit_);
    ok_ = addOkCancel(*this, *layout);
    setFixedLayout(layout);
    edit_->selectAll();
    edit_->setFocus();
}

std::optional<QString> askBpm(QWidget* desk, float bpm) {
    BpmDialog dialog(desk, bpm);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.edit().text();
}

std::optional<QString> askComment(QWidget* desk, const QString& comment) {
    CommentDialog dialog(desk, comment);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.edit().text().left(CommentDialog::kMaxLength);
}

}  // namespace spinlorex

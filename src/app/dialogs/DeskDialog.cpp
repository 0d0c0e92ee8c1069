#include "app/dialogs/DeskDialog.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

namespace spinlorex {
namespace {

QRect screenFrame(const QWidget& w) {
    if (w.isWindow()) return w.frameGeometry();
    return QRect(w.mapToGlobal(QPoint(0, 0)), w.size());
}

}  // namespace

void centreDialog(QWidget& dialog, const QWidget& main) {
    const QRect m = screenFrame(main);
    const QRect d = screenFrame(dialog);
    // Right and bottom edges are exclusive, as the desk's own rectangles are.
    const int right = m.left() + m.width();
    const int bottom = m.top() + m.height();
    dialog.move((m.left() + right - d.width()) / 2, (m.top() + bottom - d.height()) / 2);
}

DeskDialog::DeskDialog(QWidget* desk, const QString& title) : QDialog(desk) {
    setWindowTitle(title);
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void DeskDialog::setFixedLayout(QLayout* layout) {
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(layout);
}

void DeskDialog::showEvent(QShowEvent* event) {
    // The size is final here and the window not yet on screen: no visible jump.
    if (const QWidget* desk = parentWidget()) centreDialog(*this, *desk);
    QDialog::showEvent(event);
}

YesNoDialog::YesNoDialog(QWidget* desk, const std::string& question)
    : DeskDialog(desk, "Spinlorex") {
    auto* text = new QLabel(QString::fromStdString(question));
    text->setAlignment(Qt::AlignCenter);
    text->setTextFormat(Qt::PlainText);
    text->setMinimumWidth(260);

    auto* buttons = new QDialogButtonBox;
    buttons->setCenterButtons(true);
    auto* yes = buttons->addButton("Yes", QDialogButtonBox::YesRole);
    auto* no = buttons->addButton("No", QDialogButtonBox::NoRole);
    yes->setDefault(true);
    yes_ = yes;
    no_ = no;
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(14);
    layout->addWidget(text);
    layout->addWidget(buttons);
    setFixedLayout(layout);
}

bool askYesNo(QWidget* desk, const std::string& question) {
    YesNoDialog dialog(desk, question);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace spinlorex

#pragma once

#include <QtWidgets/QDialog>

#include <string>

class QAbstractButton;
class QLayout;

namespace spinlorex {

// Moves `dialog`, keeping its size, so that it sits centred over `main`: x = (main left +
// main right - dialog width) / 2, likewise for y, on the windows' frames in screen
// coordinates, halved as integers (towards zero).
void centreDialog(QWidget& dialog, const QWidget& main);

// A modal dialog of the desk: owned by the desk window, of a fixed size, and centred over
// the desk each time it opens.
class DeskDialog : public QDialog {
public:
    DeskDialog(QWidget* desk, const QString& title);

protected:
    // Installs the dialog's layout; the dialog keeps the size the layout asks for, also
    // when controls are shown or hidden later.
    void setFixedLayout(QLayout* layout);
    void showEvent(QShowEvent* event) override;
};

// The yes/no question the desk asks before it stops music: the question centred over
// "Yes" and "No", titled "Spinlorex".
class YesNoDialog : public DeskDialog {
public:
    YesNoDialog(QWidget* desk, const std::string& question);

    QAbstractButton& yesButton() { return *yes_; }
    QAbstractButton& noButton() { return *no_; }

private:
    QAbstractButton* yes_ = nullptr;
    QAbstractButton* no_ = nullptr;
};

// Asks the question modally; true for "Yes". Closing the window answers no.
bool askYesNo(QWidget* desk, const std::string& question);

}  // namespace spinlorex

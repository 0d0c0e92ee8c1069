#include "app/GuardedApplication.h"

#include <QtWidgets/QMessageBox>

#include <exception>
#include <typeinfo>

namespace spinlorex {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (crashed_) return false;
        crashed_ = true;
        // The two numbers identify the failure: where it was thrown from is unknown here, so
        // they give the kind of exception and its type's hash.
        unsigned kind = 2;
        unsigned detail = 0;
        try {
            throw;
        } catch (const std::exception& e) {
            kind = 1;
            detail = static_cast<unsigned>(typeid(e).hash_code());
        } catch (...) {}
        const QString text = QString::asprintf(
            "A fatal error occured !\nThe music will stop and the program will shut down as soon "
            "as "
            "you press the OK button\n\nPlease report this error number: %x:%x, by email at "
            "support@spinlorex.org",
            kind, detail);
        QMessageBox box(QMessageBox::NoIcon, "Spinlorex", text, QMessageBox::Ok);
        box.exec();
        // Leaves every event loop, the dialogs' too; the entry point shuts down.
        exit(1);
        return false;
    }
}

}  // namespace spinlorex

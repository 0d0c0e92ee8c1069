#include "plugins/effects/SettingsWindow.h"

#include <dlfcn.h>

#include <QtCore/QThread>
#include <QtWidgets/QApplication>
#include <QtWidgets/QDialog>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>

namespace spinlorex::effects {
namespace {

// Qt is not made to be unloaded and loaded again within one process. When this plug-in
// brings it into a program without Qt (the command-line tool), it stays loaded after the
// plug-in is unloaded; in the desk it is there for good anyway.
const bool kQtKeptLoaded = [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&QApplication::exec), &info) == 0 ||
        info.dli_fname == nullptr)
        return false;
    return ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}();

}  // namespace

bool showSettingsWindow(Effect& effect, void* parentWindow) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) return false;

    QDialog dialog(static_cast<QWidget*>(parentWindow));
    dialog.setWindowTitle(QString::fromUtf8(effect.title()));
    auto* layout = new QVBoxLayout(&dialog);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    const std::span<const ParamSpec> specs = effect.params();
    std::vector<QSlider*> sliders;
    for (int i = 0; i < static_cast<int>(specs.size()); ++i) {
        const ParamSpec& spec = specs[static_cast<size_t>(i)];
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QString::fromUtf8(spec.key));
        slider->setRange(spec.min, spec.max);
        slider->setMinimumWidth(220);
        slider->setPageStep(std::max(1, (spec.max - spec.min) / 10));
        auto* value = new QLabel;
        value->setMinimumWidth(110);
        const auto show = [&effect, i, value](int v) {
            value->setText(QString::fromStdString(effect.valueText(i, v)));
        };
        QObject::connect(slider, &QSlider::valueChanged, &dialog, [&effect, i, show](int v) {
            effect.setParam(i, v);
            show(v);
        });
        slider->setValue(effect.param(i));
        show(effect.param(i));
        grid->addWidget(new QLabel(QString::fromUtf8(spec.label)), i, 0);
        grid->addWidget(slider, i, 1);
        grid->addWidget(value, i, 2);
        sliders.push_back(slider);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* neutral =
        buttons->addButton(QStringLiteral("Neutral"), QDialogButtonBox::ResetRole);
    QObject::connect(neutral, &QPushButton::clicked, &dialog, [&] {
        for (size_t i = 0; i < sliders.size(); ++i) sliders[i]->setValue(specs[i].neutral);
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    dialog.exec();
    return true;
}

}  // namespace spinlorex::effects

#include "app/dialogs/SoundConfigDialog.h"

#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QStyledItemDelegate>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>
#include <optional>

#include "app/dialogs/DialogHost.h"
#include "audio/OutputModes.h"
#include "platform/settings/Settings.h"
#include "resources/Resources.h"

namespace spinlorex {
namespace {

// The built-in pictures of the two lists, in CardKind and OutputKind order.
constexpr const char* kCardPictures[] = {":/sound/card0.png", ":/sound/card1.png",
                                         ":/sound/card2.png"};
constexpr const char* kOutputPictures[] = {":/sound/output0.png", ":/sound/output1.png",
                                           ":/sound/output2.png"};
constexpr int kCardWidth = 87;
constexpr int kOutputWidth = 105;
constexpr int kPictureRole = Qt::UserRole;

// Draws an item as its picture, and the selected one with a red rounded frame over it.
class PictureDelegate : public QStyledItemDelegate {
public:
    explicit PictureDelegate(int width, QObject* parent)
        : QStyledItemDelegate(parent), width_(width) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(width_, SoundConfigDialog::kItemHeight);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect r = option.rect;
        const QImage picture = index.data(kPictureRole).value<QImage>();
        painter->drawImage(r.topLeft(), picture, QRect(0, 0, r.width(), r.height()));
        if (!(option.state & QStyle::State_Selected)) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(QColor(255, 0, 0), 2));
        painter->setBrush(Qt::NoBrush);
        // Corner ellipses a quarter of the frame's size; Qt takes their half-axes.
        const qreal rx = ((r.width() - 2) / 4) / 2.0;
        const qreal ry = ((r.height() - 2) / 4) / 2.0;
        painter->drawRoundedRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, r.height() - 2),
                                 rx, ry);
        painter->restore();
    }

private:
    int width_;
};

// A list of three pictures one above the other, exactly as large as they are.
QListWidget* pictureList(const char* const (&paths)[3], int fallbackWidth) {
    auto* list = new QListWidget;
    int width = fallbackWidth;
    for (const char* path : paths) {
        const QImage picture(QString::fromLatin1(path));
        if (!picture.isNull()) width = picture.width();
        auto* item = new QListWidgetItem(list);
        item->setData(kPictureRole, picture);
        item->setSizeHint(QSize(width, SoundConfigDialog::kItemHeight));
    }
    list->setItemDelegate(new PictureDelegate(width, list));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setUniformItemSizes(true);
    list->setSpacing(0);
    list->ensurePolished();  // the style's frame width is known from here on
    const int frame = 2 * list->frameWidth();
    list->setFixedSize(width + frame, 3 * SoundConfigDialog::kItemHeight + frame);
    return list;
}

int selectedRow(const QListWidget& list) {
    const QModelIndexList rows = list.selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void selectRow(QListWidget& list, int row) {
    list.setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QVariant idData(const std::optional<sound::DeviceId>& id) {
    if (!id) return {};
    return QByteArray(reinterpret_cast<const char*>(id->data()),
                      static_cast<qsizetype>(id->size()));
}

// The identifier carried by the list's selected device; none for no selection or the
// default device.
std::optional<Settings::DeviceId> selectedId(const QComboBox& list) {
    const int index = list.currentIndex();
    if (index < 0) return std::nullopt;
    const QByteArray bytes = list.itemData(index).toByteArray();
    Settings::DeviceId id{};
    if (bytes.size() != static_cast<qsizetype>(id.size())) return std::nullopt;
    std::copy(bytes.begin(), bytes.end(), id.begin());
    return id;
}

// The item carrying the stored identifier; -1 (no selection) when none is stored or the
// device is gone.
int indexOf(const QComboBox& list, const std::optional<Settings::DeviceId>& stored) {
    if (!stored) return -1;
    return list.findData(idData(stored));
}

QComboBox* deviceList() {
    auto* list = new QComboBox;
    // Device names can be long; the dialog keeps a sensible width and the drop-down shows
    // them whole.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(34);
    return list;
}

}  // namespace

SoundConfigDialog::SoundConfigDialog(DialogHost& host)
    : DeskDialog(host.deskWindow(), "Choose your configuration"), host_(host) {
    resources::initialise();
    const SoundCombination current = combinationOf(get(settings().outputMode));

    cards_ = pictureList(kCardPictures, kCardWidth);
    outputs_ = pictureList(kOutputPictures, kOutputWidth);
    selectRow(*cards_, current.cardKind);
    selectRow(*outputs_, current.outputKind);

    hard_ = new QRadioButton("Hard Mix (faster)");
    soft_ = new QRadioButton("Soft Mix (for recording)");
    auto* mix = new QButtonGroup(this);
    mix->addButton(hard_);
    mix->addButton(soft_);
    soft_->setEnabled(current.outputKind != kExternalMixer);
    (current.soft ? soft_ : hard_)->setChecked(true);

    auto* device1Label = new QLabel("Sound Card");
    device1_ = deviceList();
    device1Label->setBuddy(device1_);
    device2Label_ = new QLabel("Sound Card 2");
    device2_ = deviceList();
    device2Label_->setBuddy(device2_);
    fillDevices();
    // Hidden controls keep their room, so the dialog does not change size.
    for (QWidget* w : {static_cast<QWidget*>(device2Label_), static_cast<QWidget*>(device2_)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
        w->setHidden(current.cardKind != kTwoCards);
    }

    auto* buttons = new QDialogButtonBox;
    ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &SoundConfigDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SoundConfigDialog::reject);

    auto* side = new QVBoxLayout;
    side->setSpacing(4);
    side->addWidget(device1Label);
    side->addWidget(device1_);
    side->addSpacing(10);
    side->addWidget(device2Label_);
    side->addWidget(device2_);
    side->addSpacing(18);
    side->addWidget(hard_);
    side->addWidget(soft_);
    side->addStretch(1);
    side->addWidget(buttons);

    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(cards_, 0, Qt::AlignTop);
    layout->addWidget(outputs_, 0, Qt::AlignTop);
    layout->addLayout(side);
    setFixedLayout(layout);

    connect(cards_, &QListWidget::itemSelectionChanged, this, [this] { cardKindChanged(); });
    connect(outputs_, &QListWidget::itemSelectionChanged, this, [this] { outputKindChanged(); });
    connect(hard_, &QRadioButton::toggled, this, [this] { updateOk(); });
    connect(soft_, &QRadioButton::toggled, this, [this] { updateOk(); });
    updateOk();
}

void SoundConfigDialog::fillDevices() {
    std::vector<sound::DeviceInfo> devices = host_.outputDevices();
    // Both lists are sorted by name, as a user scans them.
    std::stable_sort(
        devices.begin(), devices.end(), [](const sound::DeviceInfo& a, const sound::DeviceInfo& b) {
            return QString::fromStdString(a.description)
                       .compare(QString::fromStdString(b.description), Qt::CaseInsensitive) < 0;
        });
    for (const sound::DeviceInfo& device : devices) {
        const QString text = QString::fromStdString(device.description);
        device1_->addItem(text, idData(device.id));
        device2_->addItem(text, idData(device.id));
    }
    device1_->setCurrentIndex(indexOf(*device1_, settings().soundCardGuid));
    device2_->setCurrentIndex(indexOf(*device2_, settings().soundCard2Guid));
}

int32_t SoundConfigDialog::chosenMode() const {
    return outputModeFor(selectedRow(*cards_), selectedRow(*outputs_), soft_->isChecked());
}

void SoundConfigDialog::cardKindChanged() {
    const bool twoCards = selectedRow(*cards_) == kTwoCards;
    device2Label_->setVisible(twoCards);
    device2_->setVisible(twoCards);
    updateOk();
}

void SoundConfigDialog::outputKindChanged() {
    soft_->setEnabled(selectedRow(*outputs_) != kExternalMixer);
    updateOk();
}

void SoundConfigDialog::updateOk() { ok_->setEnabled(chosenMode() >= 0); }

void SoundConfigDialog::accept() {
    const int32_t mode = chosenMode();
    if (mode < 0) {
        QMessageBox message(QMessageBox::NoIcon, "Spinlorex", kInvalidMessage, QMessageBox::Ok,
                            this);
        message.exec();
        return;
    }
    Settings& s = settings();
    set(s.outputMode, mode);
    s.soundCardGuid.reset();
    s.soundCard1Guid.reset();
    s.soundCard2Guid.reset();
    if (const std::optional<Settings::DeviceId> first = selectedId(*device1_)) {
        s.soundCardGuid = first;
        s.soundCard1Guid = first;
    }
    s.soundCard2Guid = selectedId(*device2_);
    {
        const RhythmPause pause(host_);
        host_.rebuildAudioEngine();
    }
    done(1);
}

int runSoundConfigDialog(DialogHost& host) {
    SoundConfigDialog dialog(host);
    return dialog.exec();
}

}  // namespace spinlorex

#include "panes/timeline/edit_menu.h"

#include "engine/effect_kernels.h"
#include "platform/dialog_service.h"
#include "platform/hresult.h"
#include "project/media_file.h"
#include "project/timeline_scale.h"
#include "skin/skin_button.h"
#include "skin/skin_slider.h"

#include <QPainter>

namespace {

constexpr int kWidth = 201;
constexpr int kZoomStep = 4;
constexpr int kSliderId = 0x17DC;
const QColor kEffectText(16, 66, 115);
const QColor kEffectField(236, 242, 250);

} // namespace

CCW_EffectComboCtrl::CCW_EffectComboCtrl(QWidget* parent)
    : QComboBox(parent)
{
    setObjectName("effect");
    QPalette pal = palette();
    pal.setColor(QPalette::Text, kEffectText);
    pal.setColor(QPalette::ButtonText, kEffectText);
    pal.setColor(QPalette::Base, kEffectField);
    pal.setColor(QPalette::Button, kEffectField);
    setPalette(pal);
    // Only the user's picks notify; Fill() does not.
    connect(this, &QComboBox::activated, this, [this] { SendMessage(parentWidget(), msg::EffectSelChanged); });
}

void CCW_EffectComboCtrl::Fill(const QFont& font)
{
    const QSignalBlocker quiet(this);
    clear();
    setFont(font);
    for (const char* text : kEffectEntryTexts)
        addItem(QString::fromLatin1(text));
    setCurrentIndex(0);
}

CCW_EditMenuWnd::CCW_EditMenuWnd(const PaneContext& context, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , context_(context)
    , slider_(new CSkinSlider(this, kSliderId))
    , effects_(new CCW_EffectComboCtrl(this))
{
    setObjectName("CCW_EditMenuWnd");
    const ResourceLookup& res = context_.resources;
    LoadSkinBitmap(background_, res, "CW_EDITMENU_IMG_BACKGROUND", "IMAGE");
    font_ = MakeSkinFont(res, "CLIPWEAVER", "FONT_NORMAL", SkinFontRole::EditMenuBar);
    slider_->setObjectName("zoom");
    slider_->LoadBitmaps(res, "CW_EDITMENU_CTRL_SLIDER_ZOOM");
    slider_->SetRange(kZoomMin, kZoomMax);
    slider_->SetPos(kZoomDefault);
    AddButton("zoomout", "CW_EDITMENU_BTN_ZOOMOUT", "BTN_ZOOMOUT", 0x17DD);
    AddButton("zoomin", "CW_EDITMENU_BTN_ZOOMIN", "BTN_ZOOMIN", 0x17DE);
    AddButton("fit", "CW_EDITMENU_BTN_ZOOMFIT", "BTN_ZOOMFIT", 0x17E1);
    AddButton("preview", "CW_EDITMENU_BTN_PREVIEW", "BTN_PREVIEW", 0x17E2);
    AddButton("save", "CW_EDITMENU_BTN_SAVE", "BTN_SAVE", kSaveId);
    AddButton("send", "CW_EDITMENU_BTN_SEND2PHONE", "BTN_SEND2PHONE", kSendId);
    connect(button("zoomout"), &QAbstractButton::clicked, this, [this] { ZoomBy(-kZoomStep); });
    connect(button("zoomin"), &QAbstractButton::clicked, this, [this] { ZoomBy(kZoomStep); });
    connect(button("fit"), &QAbstractButton::clicked, this, &CCW_EditMenuWnd::Fit);
    connect(button("preview"), &QAbstractButton::clicked, this, &CCW_EditMenuWnd::Preview);
    connect(button("save"), &QAbstractButton::clicked, this, [this] { Save(kSaveId); });
    connect(button("send"), &QAbstractButton::clicked, this, [this] { Save(kSendId); });
    effects_->Fill(font_);
    effects_->setToolTip(res.GetResourceText("CW_EDITMENU_TOOLTIPS", "EFFECT"));
    setFixedWidth(kWidth);
    PlaceControls();
}

CSkinButton* CCW_EditMenuWnd::AddButton(const char* name, const char* section, const char* tip, int id)
{
    auto* b = new CSkinButton(this, id);
    b->setObjectName(QString::fromLatin1(name));
    b->setProperty("controlId", id);
    b->LoadImages(context_.resources, QString::fromLatin1(section));
    b->SetToolTipKey(context_.resources, "CW_EDITMENU_TOOLTIPS", QString::fromLatin1(tip));
    buttons_.push_back(b);
    return b;
}

CSkinButton* CCW_EditMenuWnd::button(const char* name) const
{
    for (CSkinButton* b : buttons_) {
        if (b->objectName() == QLatin1String(name))
            return b;
    }
    return nullptr;
}

QSize CCW_EditMenuWnd::sizeHint() const
{
    return { kWidth, 210 };
}

void CCW_EditMenuWnd::PlaceControls()
{
    // Zoom row, preview and save row, effect list.
    auto size = [](CSkinButton* b) {
        const QSize s = b->sizeHint();
        return s.isValid() && !s.isEmpty() ? s : QSize(28, 24);
    };
    int x = 8;
    const int zoomY = 14;
    CSkinButton* out = button("zoomout");
    out->setGeometry(QRect(QPoint(x, zoomY), size(out)));
    x += out->width() + 4;
    CSkinButton* in = button("zoomin");
    CSkinButton* fit = button("fit");
    const int sliderWidth = std::max(40, kWidth - x - size(in).width() - size(fit).width() - 20);
    const int sliderHeight = std::max(16, slider_->sizeHint().height());
    slider_->setGeometry(x, zoomY + (size(out).height() - sliderHeight) / 2, sliderWidth, sliderHeight);
    x += sliderWidth + 4;
    in->setGeometry(QRect(QPoint(x, zoomY), size(in)));
    x += in->width() + 4;
    fit->setGeometry(QRect(QPoint(x, zoomY), size(fit)));
    // The preview and save buttons in rows, as many to a row as fit.
    int y = zoomY + size(out).height() + 14;
    int rowHeight = 0;
    x = 8;
    for (const char* name : { "preview", "save", "send" }) {
        CSkinButton* b = button(name);
        const QSize s = size(b);
        if (x > 8 && x + s.width() > kWidth - 4) {
            x = 8;
            y += rowHeight + 6;
            rowHeight = 0;
        }
        b->setGeometry(QRect(QPoint(x, y), s));
        x += s.width() + 6;
        rowHeight = std::max(rowHeight, s.height());
    }
    y += rowHeight + 14;
    effects_->setGeometry(8, y, kWidth - 16, std::max(22, effects_->sizeHint().height()));
}

void CCW_EditMenuWnd::resizeEvent(QResizeEvent* event)
{
    MessageWindow<QWidget>::resizeEvent(event);
    PlaceControls();
}

void CCW_EditMenuWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!background_.isNull())
        background_.draw(p, rect(), QRect(QPoint(0, 0), background_.size()));
    else
        p.fillRect(rect(), QColor(214, 222, 234));
}

void CCW_EditMenuWnd::ShowPlaying(bool playing)
{
    playing_ = playing;
    button("preview")->SetSecondMode(playing);
}

void CCW_EditMenuWnd::ZoomTo(int zoom)
{
    slider_->SetPos(zoom);
    SendMessage(parentWidget(), msg::SetZoom, 0, slider_->GetPos());
}

void CCW_EditMenuWnd::ZoomBy(int step)
{
    ZoomTo(slider_->GetPos() + step);
}

void CCW_EditMenuWnd::Fit()
{
    int zoom = kZoomDefault;
    if (SendMessage(parentWidget(), msg::ZoomToFit, 0, ToLParam(&zoom)) == E_FAIL) {
        SkinnedMessage message;
        message.text = QStringLiteral("Zoom-Fit Failed");
        message.textCallback = context_.resources.textCallback();
        message.imageCallback = context_.resources.imageCallback();
        if (context_.dialogs)
            context_.dialogs->skinnedMessage(this, message);
        // The zoom stays as it was.
        return;
    }
    ZoomTo(zoom);
    SendMessage(parentWidget(), msg::SetScroll, 0, 0);
}

void CCW_EditMenuWnd::Preview()
{
    if (playing_) {
        SendMessage(parentWidget(), msg::StopPlayback, kWholeMovie, 0);
        ShowPlaying(false);
        return;
    }
    if (SendMessage(parentWidget(), msg::PreviewClip, kWholeMovie, 0) == E_FAIL) {
        ShowPlaying(false);
        return;
    }
}

void CCW_EditMenuWnd::Save(int command)
{
    // The phone-save button's command goes to the main frame, which runs the
    // PC save and then copies the file to the phone.
    SendMessage(parentWidget(), command == kSaveId ? msg::SaveToPc : msg::PhoneSaveCommand, kWholeMovie, 0);
}

LRESULT CCW_EditMenuWnd::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::SliderMoved:
        if (int(wParam) == slider_->controlId())
            SendMessage(parentWidget(), msg::SetZoom, 0, lParam);
        return 0;
    case msg::EffectSelChanged:
        return SendMessage(parentWidget(), msg::EffectChosen, 0, effects_->currentIndex());
    default:
        handled = false;
        return 0;
    }
}

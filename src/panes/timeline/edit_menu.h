// CCW_EditMenuWnd: the bar at the right of the timeline. Its zoom slider
// (4 to 66, from 38) and zoom buttons send the zoom value (0x5351), the fit
// button asks the timeline for the value that shows the whole movie; the
// preview button plays or stops the edited movie, the save buttons save it
// on the PC or for the phone, and the effect list (CCW_EffectComboCtrl)
// picks the movie's colour effect. Everything goes to the parent (the
// timeline container), which routes it on.
#pragma once

#include "panes/pane_context.h"
#include "platform/messages.h"
#include "skin/skin_bitmap.h"

#include <QComboBox>
#include <QWidget>

class CSkinButton;
class CSkinSlider;

// The effect list: the effect texts in effect order, so an entry's index is
// its effect number. A change the user makes notifies the parent (0x416).
class CCW_EffectComboCtrl : public QComboBox {
    Q_OBJECT
public:
    explicit CCW_EffectComboCtrl(QWidget* parent = nullptr);
    // Empties the list, sets the font, adds the texts, selects "None".
    void Fill(const QFont& font);
};

class CCW_EditMenuWnd : public MessageWindow<QWidget> {
    Q_OBJECT
public:
    // Command identifiers of the buttons.
    static constexpr int kSaveId = 0x17DF;
    static constexpr int kSendId = 0x17E0;

    CCW_EditMenuWnd(const PaneContext& context, QWidget* parent = nullptr);

    // The preview button's face: stop while the edited movie plays.
    void ShowPlaying(bool playing);
    bool playing() const { return playing_; }

    CSkinSlider* zoomSlider() const { return slider_; }
    CCW_EffectComboCtrl* effectList() const { return effects_; }
    CSkinButton* button(const char* name) const;

    // What the buttons do.
    void ZoomBy(int step);
    void ZoomTo(int zoom);
    void Fit();
    void Preview();
    void Save(int command);

    QSize sizeHint() const override;

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CSkinButton* AddButton(const char* name, const char* section, const char* tip, int id);
    void PlaceControls();

    PaneContext context_;
    CSkinSlider* slider_;
    CCW_EffectComboCtrl* effects_;
    std::vector<CSkinButton*> buttons_;
    SkinBitmap background_;
    QFont font_;
    bool playing_ = false;
};

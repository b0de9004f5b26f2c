// CCW_PreviewContain: the upper right pane. It switches between the source
// preview (CCW_PreviewMedia) and the edited-movie preview (CCW_PreviewEdited)
// and passes each message to the preview that acts on it: targets 0-2 go to
// the source preview, target 3 to the edited-movie preview. Until a preview
// is attached, a message for it returns 1 and changes nothing.
#pragma once

#include "platform/messages.h"

#include <QPointer>
#include <QWidget>

class QStackedLayout;

class CCW_PreviewContain : public MessageWindow<QWidget> {
public:
    // frame receives what the previews send upwards (0x5017, 0x5365, 0x5354,
    // 0x3063).
    CCW_PreviewContain(QObject* frame, QWidget* parent);

    // Where the two previews plug in (ownership passes).
    void AttachSourcePreview(QWidget* preview);
    void AttachEditedPreview(QWidget* preview);
    QWidget* sourcePreview() const { return source_; }
    QWidget* editedPreview() const { return edited_; }
    // The preview in front, or null.
    QWidget* frontPreview() const;

    // The main frame, for panes that send to it directly (0x5501 and the
    // messages whose number also travels down through this container).
    QObject* frame() const { return frame_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // The receiver of a message with a target: 0-2 the source preview, 3 the
    // edited-movie preview.
    QWidget* ByTarget(WPARAM target) const;
    // The preview whose child is the object at address view, or null.
    QWidget* OwnerOf(WPARAM view) const;
    void BringToFront(QWidget* preview);

    QPointer<QObject> frame_;
    QPointer<QWidget> source_;
    QPointer<QWidget> edited_;
    QStackedLayout* stack_;
};

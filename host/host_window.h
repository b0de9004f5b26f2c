// The host's main window. It carries the properties through which the editor
// reaches the phone (see host_api.h), shows the editor as its central child,
// and shows the status text that the editor sends with message 0x3063.
#pragma once

#include "platform/messages.h"

#include <QMainWindow>

class PhoneLink;
class QLabel;

class HostWindow : public MessageWindow<QMainWindow> {
    Q_OBJECT
public:
    HostWindow(PhoneLink* phone, const QString& commLibrary, QWidget* parent = nullptr);

    // The widget the editor is created in.
    QWidget* editorParent() const { return editorParent_; }
    // Lays the editor out to fill the window (null removes nothing).
    void setEditor(QWidget* editor);
    QString statusText() const { return statusText_; }

signals:
    void statusChanged(const QString& text);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    bool event(QEvent* e) override;

private:
    void showStatus(const QString& text);

    QWidget* editorParent_;
    QLabel* phoneLabel_;
    QString statusText_;
};

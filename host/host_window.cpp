#include "host_window.h"

#include "host_api.h"
#include "phone_link.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// The editor's parent window. The editor sends its status messages to its
// parent; this widget hands every message on to the host's main window.
class EditorHost : public QWidget {
public:
    using QWidget::QWidget;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() >= QEvent::User && dynamic_cast<MessageEvent*>(e))
            return QCoreApplication::sendEvent(window(), e);
        return QWidget::event(e);
    }
};

} // namespace

HostWindow::HostWindow(PhoneLink* phone, const QString& commLibrary, QWidget* parent)
    : MessageWindow<QMainWindow>(parent)
    , editorParent_(new EditorHost(this))
    , phoneLabel_(new QLabel(this))
{
    setObjectName("HostWindow");
    editorParent_->setObjectName("EditorHost");
    auto* layout = new QVBoxLayout(editorParent_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(editorParent_);

    setProperty(kHostPhoneLinkProperty, QVariant::fromValue<QObject*>(phone));
    setProperty(kHostPhoneConnectedProperty, phone && phone->isConnected());
    setProperty(kHostPhoneHandleProperty, QVariant::fromValue<qulonglong>(phone ? phone->handle() : 0));
    setProperty(kHostCommLibraryProperty, commLibrary);

    phoneLabel_->setText(
        phone && phone->isConnected() ? tr("Phone connected: %1").arg(phone->folder()) : tr("No phone connected"));
    statusBar()->addPermanentWidget(phoneLabel_);
}

void HostWindow::setEditor(QWidget* editor)
{
    if (!editor)
        return;
    editorParent_->layout()->addWidget(editor);
    editor->show();
}

void HostWindow::showStatus(const QString& text)
{
    statusText_ = text;
    statusBar()->showMessage(text);
    emit statusChanged(text);
}

LRESULT HostWindow::onMessage(std::uint32_t message, WPARAM, LPARAM lParam, bool& handled)
{
    if (message != msg::HostStatus) {
        handled = false;
        return 0;
    }
    const auto* text = FromParam<const QString>(lParam);
    showStatus(text ? *text : QString());
    return 1;
}

bool HostWindow::event(QEvent* e)
{
    // The component carries its own copy of the message layer, whose event
    // type number may differ from ours; its events are still MessageEvents.
    if (e->type() >= QEvent::User && e->type() != MessageEvent::eventType()) {
        if (auto* m = dynamic_cast<MessageEvent*>(e)) {
            bool handled = true;
            const LRESULT r = onMessage(m->message(), m->wParam(), m->lParam(), handled);
            if (handled) {
                m->setResult(r);
                m->setHandled(true);
            }
            m->accept();
            return true;
        }
    }
    return MessageWindow<QMainWindow>::event(e);
}

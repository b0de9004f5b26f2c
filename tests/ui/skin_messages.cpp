// test-links: cw_skin
// The skinned message dialog.
#include "config/suite_settings.h"
#include "skin/dialog_button.h"
#include "skin/msg_box.h"
#include "skin/qt_dialog_service.h"
#include "skin/skin_base_dialog.h"
#include "test_util.h"
#include "ui_watchdog.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class SkinMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSuiteValue("IMAGEDIR", QStringLiteral(CW_SUITE_DIR "/image"));
        // The font database loads on first use, as a host does at its start.
        const UiStallAllowance fontStart;
        QFontMetrics(QFont(SuiteText("THEMEMANAGER_FONT", "FONT_DEFAULT"))).height();
    }

    // Presses the message button with that result once the dialog runs.
    static void PressWhenShown(CSkinBaseDialog& dialog, int result, int afterMs = 0)
    {
        QTimer::singleShot(afterMs, &dialog, [&dialog, result] {
            for (CDialogButton* button : dialog.messageBody()->buttons()) {
                if (button->property("controlId").toInt() == result)
                    QTest::mouseClick(button, Qt::LeftButton);
            }
        });
    }

    TempRegistry registry;
};

TEST_F(SkinMessages, SizesFollowTheFontMetricsAndResultsTheMessageType)
{
    // A short text keeps the 200-pixel minimum width; a longer last line
    // widens the box by at most 15 pixels past the first line.
    const QString line = "The movie is saved in the phone format of the model.";
    for (const QString& text : { QString("  Yes  "), line + "\n" + line + ".." }) {
        CSkinBaseDialog dialog;
        dialog.SetResourceCallbacks(&SuiteText, &SuiteImage);
        dialog.SetSkinned(true);
        dialog.SetMessage(text, 0);
        dialog.show();
        const CMsgBox* body = dialog.messageBody();
        const QFontMetrics metrics(body->messageFont());
        const int lines = text.contains('\n') ? 2 : 1;
        const int width = lines == 1 ? 200 : metrics.horizontalAdvance(line) + 15;
        EXPECT_EQ(body->size(), QSize(width + 40, lines * metrics.height() + 87)) << qPrintable(text);
        EXPECT_TRUE(body->buttons().at(0)->hasStrip()); // the buttons are frames of the skin's strips
        QCoreApplication::processEvents(); // one dialog opens per event, as in the editor
    }

    // A huge message is cut down to the screen.
    CSkinBaseDialog dialog;
    dialog.SetMessage(QStringList(300, QString("A very long line of a message. ").repeated(16)).join('\n'), 2);
    dialog.show();
    EXPECT_EQ(dialog.size(), QGuiApplication::primaryScreen()->availableGeometry().size());

    // A button of each type answers with its result; Esc gives 2.
    for (const auto& [type, result] :
        std::initializer_list<std::pair<int, int>> { { 0, IDOK }, { 1, IDYES }, { 2, IDOK }, { 3, IDCANCEL } }) {
        CSkinBaseDialog dialog;
        PressWhenShown(dialog, result);
        EXPECT_EQ(dialog.ShowMessage("Go on?", type), result) << type;
    }
    CSkinBaseDialog escaped;
    QTimer::singleShot(0, &escaped, [&] { QTest::keyClick(&escaped, Qt::Key_Escape); });
    EXPECT_EQ(escaped.ShowMessage("Go on?", 1), IDCANCEL);

    // Every skinned message of the Qt service comes through the dialog.
    InstallSkinnedMessages();
    QtDialogService service;
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CSkinBaseDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->windowTitle() == "Question")
            dialog->messageBody()->buttons().at(1)->click();
    });
    EXPECT_EQ(service.skinnedMessage(nullptr, { .text = "Go on?", .title = "Question", .type = 3 }), IDNO);
    QtDialogService::setSkinnedPresenter(nullptr);

    // Left alone, a self-closing message ends itself with 2 after 3 s.
    CSkinBaseDialog alone;
    alone.SetSelfClosing(true);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(alone.ShowMessage("Saved.", 2), 2);
    EXPECT_GE(clock.elapsed(), CSkinBaseDialog::kSelfCloseMs - 50);

    // Closed earlier, it answers the user's choice and leaves no timer.
    CSkinBaseDialog early;
    early.SetSelfClosing(true);
    PressWhenShown(early, IDOK, 50);
    EXPECT_EQ(early.ShowMessage("Saved.", 2), IDOK);
    EXPECT_TRUE(QAbstractEventDispatcher::instance()->registeredTimers(&early).isEmpty());
}

} // namespace

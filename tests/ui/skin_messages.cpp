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
    const QString line = "The movie is saved in the phone format of the model.";
    struct Row {
        QString text;
        int lineCount;
        // The text width from the widths w of the lines (in order).
        std::function<int(const QFontMetrics&)> width;
    };
    const Row rows[] = {
        { " \n\t\n\n  ", 0, [](const QFontMetrics&) { return 200; } },
        { "  Yes  ", 1, [](const QFontMetrics&) { return 200; } },
        // At most 15 pixels wider than the first line: no wider.
        { line + "\n" + line + "..", 2, [&](const QFontMetrics& m) { return m.horizontalAdvance(line) + 15; } },
        { line + "\n\n" + line + line, 2,
            [&](const QFontMetrics& m) { return m.horizontalAdvance(line + line) + 15; } },
    };
    for (const Row& row : rows) {
        CSkinBaseDialog dialog;
        dialog.SetResourceCallbacks(&SuiteText, &SuiteImage);
        dialog.SetSkinned(true);
        dialog.SetMessage(row.text, 0);
        dialog.show();
        const CMsgBox* body = dialog.messageBody();
        ASSERT_NE(body, nullptr);
        const QFontMetrics metrics(body->messageFont());
        EXPECT_EQ(body->lines().size(), row.lineCount) << qPrintable(row.text);
        const QSize expected(row.width(metrics) + 40, row.lineCount * metrics.height() + 87);
        EXPECT_EQ(body->size(), expected) << qPrintable(row.text);
        EXPECT_EQ(dialog.size(), expected + QSize(16, 84));
        // The buttons are frames of the skin's strips.
        ASSERT_EQ(body->buttons().size(), 2u);
        EXPECT_TRUE(body->buttons()[0]->hasStrip());
        // One dialog opens per event, as in the editor.
        QCoreApplication::processEvents();
    }

    // A huge message is cut down to the screen.
    CSkinBaseDialog dialog;
    dialog.SetMessage(QStringList(300, QString("A very long line of a message. ").repeated(16)).join('\n'), 2);
    dialog.show();
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_EQ(dialog.size(), screen);
    const CDialogButton* ok = dialog.messageBody()->buttons().front();
    EXPECT_LE(dialog.messageBody()->mapTo(&dialog, ok->geometry().bottomRight()).y(), screen.height());

    // The buttons of each type answer with their results; Esc gives 2.
    const std::vector<std::pair<int, std::vector<int>>> types
        = { { 0, { IDOK, IDCANCEL } }, { 1, { IDYES, IDNO } }, { 2, { IDOK } }, { 3, { IDYES, IDNO, IDCANCEL } } };
    for (const auto& [type, results] : types) {
        for (int result : results) {
            CSkinBaseDialog dialog;
            PressWhenShown(dialog, result);
            EXPECT_EQ(dialog.ShowMessage("Go on?", type), result) << type;
        }
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

    // Closed earlier by the user, it answers the user's choice and no timer
    // is left.
    CSkinBaseDialog early;
    early.SetSelfClosing(true);
    PressWhenShown(early, IDOK, 50);
    clock.restart();
    EXPECT_EQ(early.ShowMessage("Saved.", 2), IDOK);
    EXPECT_LT(clock.elapsed(), CSkinBaseDialog::kSelfCloseMs);
    EXPECT_FALSE(early.selfCloseArmed());
    EXPECT_TRUE(QAbstractEventDispatcher::instance()->registeredTimers(&early).isEmpty());
}

} // namespace

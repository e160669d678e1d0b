#include "modaldriver.h"
#include "resources/resource.h"
#include "shell/helpcall.h"
#include "toolkit/aboutbox.h"
#include "toolkit/messagetext.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(AboutBox, CaptionMemoryLinesAndOneHelpButtonForItsContext) {
    std::vector<std::pair<unsigned, unsigned long>> calls;
    SetHelpHandler([&](unsigned command, unsigned long data) {
        calls.emplace_back(command, data);
        return true;
    });
    CAboutDlg dlg(nullptr);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "About Kavel 2000");
    EXPECT_EQ(dlg.findChild<QLabel*>("131")->text(), "\n\nFree Memory:");
    EXPECT_EQ(dlg.findChild<QLabel*>("132")->text(), "\n\n1024 Kb\n");

    std::vector<QPushButton*> helpButtons;
    for (QPushButton* button : dlg.findChildren<QPushButton*>())
        if (button->isVisible() && button->text() == "&Help")
            helpButtons.push_back(button);
    ASSERT_EQ(helpButtons.size(), 1u);
    EXPECT_EQ(helpButtons[0]->objectName(), "57670");
    helpButtons[0]->click();
    QTest::keyClick(dlg.findChild<QPushButton*>("1"), Qt::Key_F1);
    const std::vector<std::pair<unsigned, unsigned long>> expected(2, {HELP_CONTEXT, 0x20003});
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(dlg.isVisible());

    dlg.findChild<QPushButton*>("1")->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), IDOK);
    SetHelpHandler({});
}

// The painted parts: the logo centred across the box, the heading in navy, the black rules.
TEST(AboutBox, PaintsLogoHeadingAndRules) {
    const QImage logo(":/kavel/logo.xpm");
    ASSERT_EQ(logo.size(), QSize(200, 55));
    EXPECT_EQ(QImage(":/kavel/icon.xpm").size(), QSize(32, 32));

    CAboutDlg dlg(nullptr);
    QImage shot(dlg.size(), QImage::Format_RGB32);
    dlg.render(&shot);
    const QRect bitmap = dlg.MapDialogRect(83, 15, 76, 21);
    const int left = (dlg.width() - logo.width()) / 2;
    int same = 0;
    for (int y = 0; y < logo.height(); y += 5)
        for (int x = 0; x < logo.width(); x += 5)
            same += shot.pixel(left + x, bitmap.top() + y) == logo.pixel(x, y);
    EXPECT_EQ(same, (200 / 5) * (55 / 5));

    for (const int y : {113, 156, 212}) {
        const QRect rule = dlg.MapDialogRect(50, y, 141, 1);
        EXPECT_EQ(shot.pixel(rule.center()), qRgb(0, 0, 0)) << y;
    }
    const QRect heading = dlg.MapDialogRect(50, 50, 141, 13);
    bool navy = false;
    for (int x = heading.left(); x <= heading.right() && !navy; ++x)
        for (int y = heading.top(); y <= heading.bottom() && !navy; ++y)
            navy = shot.pixel(x, y) == qRgb(0, 0, 128);
    EXPECT_TRUE(navy);
}

TEST(AboutBox, PlaceWindowModes) {
    QWidget window;
    window.setFixedSize(300, 200);
    window.move(7, 9);
    const QRect screen = window.screen()->geometry();
    struct {
        int horizontal, vertical;
        QPoint expected;
    } const cases[] = {
        {0, 0, {7, 9}},
        {1, 1, {screen.left() + 20, screen.top() + 20}},
        {2, 2, {screen.right() + 1 - 300 - 20, screen.bottom() + 1 - 200 - 20}},
        {3,
         3,
         {screen.left() + (screen.width() - 300) / 2, screen.top() + (screen.height() - 200) / 2}},
        {9, 3, {7, screen.top() + (screen.height() - 200) / 2}},
    };
    for (const auto& c : cases) {
        window.move(7, 9);
        PlaceWindow(&window, c.horizontal, c.vertical);
        EXPECT_EQ(window.pos(), c.expected) << c.horizontal << "," << c.vertical;
        EXPECT_EQ(window.size(), QSize(300, 200));
    }
    CAboutDlg dlg(nullptr);
    EXPECT_EQ(dlg.pos(), QPoint(screen.left() + (screen.width() - dlg.width()) / 2,
                                screen.top() + (screen.height() - dlg.height()) / 2));
}

} // namespace

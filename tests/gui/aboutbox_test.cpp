#include "core/text/helpcall.h"
#include "core/text/messagetext.h"
#include "core/text/resource.h"
#include "gui/widgets/aboutbox.h"

#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(AboutBox, CaptionAndOneHelpButtonForItsContext) {
    std::vector<std::pair<unsigned, unsigned long>> calls;
    SetHelpHandler([&](unsigned command, unsigned long data) {
        calls.emplace_back(command, data);
        return true;
    });
    CAboutDlg dlg(nullptr);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "About Kavel 2000");
    int helpButtons = 0;
    for (QPushButton* button : dlg.findChildren<QPushButton*>())
        helpButtons += button->isVisible() && button->text() == "&Help";
    EXPECT_EQ(helpButtons, 1);
    dlg.findChild<QPushButton*>("57670")->click();
    QTest::keyClick(dlg.findChild<QPushButton*>("1"), Qt::Key_F1);
    EXPECT_EQ(calls, decltype(calls)(2, {HELP_CONTEXT, 0x20003}));
    EXPECT_TRUE(dlg.isVisible());
    dlg.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dlg.result(), IDOK);
    SetHelpHandler({});
}

// The box opens centred on the screen, its frame and title bar included.
TEST(AboutBox, OpensCentredWithItsFrame) {
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    ASSERT_NE(owner.frameGeometry().size(), owner.size()); // the headless platform has frames
    CAboutDlg dlg(&owner);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QRect screen = dlg.screen()->geometry(), frame = dlg.frameGeometry();
    EXPECT_EQ(frame.top(), screen.top() + (screen.height() - frame.height()) / 2);
    EXPECT_EQ(frame.left(), screen.left() + (screen.width() - frame.width()) / 2);
    dlg.close();
}

TEST(AboutBox, PlaceWindowModes) {
    QWidget window;
    window.setFixedSize(300, 200);
    const QRect screen = window.screen()->geometry();
    const QPoint centre(screen.left() + (screen.width() - 300) / 2,
                        screen.top() + (screen.height() - 200) / 2);
    struct {
        int horizontal, vertical;
        QPoint expected;
    } const cases[] = {
        {0, 0, {7, 9}},
        {1, 1, screen.topLeft() + QPoint(20, 20)},
        {2, 2, screen.bottomRight() + QPoint(1 - 300 - 20, 1 - 200 - 20)},
        {3, 3, centre},
        {9, 3, {7, centre.y()}},
    };
    for (const auto& c : cases) {
        window.move(7, 9);
        PlaceWindow(&window, c.horizontal, c.vertical);
        EXPECT_EQ(window.pos(), c.expected) << c.horizontal << "," << c.vertical;
    }
}

} // namespace

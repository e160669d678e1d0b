// Where a dialog template places its window on the screen.
#include "gui/widgets/aboutbox.h"

#include <QScreen>
#include <gtest/gtest.h>

namespace {

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

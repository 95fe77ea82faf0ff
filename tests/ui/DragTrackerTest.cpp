// The drag every skinned window shares: what a move reports while the left
// button is down, and that the capture comes and goes with the drag.
#include <gtest/gtest.h>

#include <windows.h>

#include "UiTestSupport.h"
#include "ui/DragTracker.h"

namespace {

TEST(DragTrackerTest, MovesGiveTheCursorsTravelSinceTheLastOneWhileTheDragLasts) {
    ColorBackdrop window({100, 100, 300, 300}, RGB(0, 0, 255));
    ::SetCursorPos(150, 150);
    DragTracker drag;
    int dx = 99, dy = 99;
    EXPECT_FALSE(drag.Move(&dx, &dy));  // no button down yet

    drag.Begin(window.Window());
    EXPECT_TRUE(drag.IsDragging());
    EXPECT_EQ(window.Window(), ::GetCapture());

    ::SetCursorPos(160, 145);
    ASSERT_TRUE(drag.Move(&dx, &dy));
    EXPECT_EQ(10, dx);
    EXPECT_EQ(-5, dy);
    ::SetCursorPos(157, 145);
    ASSERT_TRUE(drag.Move(&dx, &dy));
    EXPECT_EQ(-3, dx);
    EXPECT_EQ(0, dy);
    ASSERT_TRUE(drag.Move(&dx, &dy));  // the cursor stood still
    EXPECT_EQ(0, dx);
    EXPECT_EQ(0, dy);

    drag.End();
    EXPECT_FALSE(drag.IsDragging());
    EXPECT_EQ(nullptr, ::GetCapture());
    ::SetCursorPos(200, 200);
    EXPECT_FALSE(drag.Move(&dx, &dy));
}

}  // namespace

// The notification-area icon: status image, new-mail animation, menu and
// the clicks that bring the window back.
#include "main/TrayIcon.h"
#include "gui/KivImages.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class TrayIconTest : public testing::Test {
protected:
    TKivImageList Status{TKivImageSet::Small};
    TKivImageList NewMail{TKivImageSet::NewMail};
    QMenu Menu;
    TKivTrayIcon Tray{Status, NewMail, &Menu, [] { return false; }};

    bool Shows(const QIcon &icon) const { return Tray.CurrentIcon().cacheKey() == icon.cacheKey(); }
};

} // namespace

TEST_F(TrayIconTest, AnimationAlternatesTheTwoNewMailImages)
{
    EXPECT_TRUE(Shows(Status.Icon(1)));
    Tray.StartAnimation();
    ASSERT_TRUE(Tray.Animating());
    EXPECT_EQ(Tray.AnimationTimer().interval(), 500);
    EXPECT_TRUE(Shows(NewMail.Icon(0)));
    // Each change is awaited with room to spare: the test checks the
    // alternation, not the pace.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(NewMail.Icon(1)); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(NewMail.Icon(0)); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(NewMail.Icon(1)); }, 10000));

    // A second start neither restarts nor disturbs it.
    Tray.StartAnimation();
    EXPECT_TRUE(Tray.Animating());

    Tray.StopAnimation();
    EXPECT_FALSE(Tray.Animating());
    EXPECT_TRUE(Shows(Status.Icon(1)));
}

TEST_F(TrayIconTest, StatusImageSetWhileAnimatingShowsWhenItStops)
{
    Tray.SetImageIndex(4);
    EXPECT_TRUE(Shows(Status.Icon(4)));
    Tray.StartAnimation();
    Tray.SetImageIndex(5);
    EXPECT_EQ(Tray.ImageIndex(), 5);
    EXPECT_TRUE(Shows(NewMail.Icon(0)) || Shows(NewMail.Icon(1)));
    Tray.StopAnimation();
    EXPECT_TRUE(Shows(Status.Icon(5)));
}

TEST_F(TrayIconTest, EveryKindOfClickCountsOncePerDoubleClick)
{
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(150);
    QSignalSpy spy(&Tray, &TKivTrayIcon::DoubleClicked);
    // StatusNotifierItem trays: a click is a Trigger, and a double-click two.
    emit Tray.SystemIcon().activated(QSystemTrayIcon::Trigger);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(spy.count(), 1);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::Context);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(spy.count(), 1);

    // XEmbed trays: a Trigger for the first click, then the DoubleClick.
    QTest::qWait(300);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::Trigger);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(spy.count(), 2);
    QTest::qWait(300);
    emit Tray.SystemIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(spy.count(), 3);
    QApplication::setDoubleClickInterval(interval);
}

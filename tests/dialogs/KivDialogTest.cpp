// The frame every dialog shares.
#include "gui/KivDialog.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

TEST(KivDialogTest, AFixedDialogKeepsItsSizeAndIsCentredOnlyAtItsFirstShowing)
{
    TKivDialog dialog(nullptr, "frmTest", QStringLiteral("Test"), QSize(301, 282), TKivDialog::TFrame::Fixed);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmTest"));
    EXPECT_EQ(dialog.size(), QSize(301, 282));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

    dialog.show();
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((dialog.frameGeometry().center() - centre).manhattanLength(), 2);
    dialog.hide();
    dialog.move(10, 10);
    dialog.show();
    EXPECT_EQ(dialog.pos(), QPoint(10, 10));
}

// The frame every dialog shares, and what every window shows a screen reader.
#include "gui/KivDialog.h"
#include "tests/dialogs/DialogTesting.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTreeWidget>

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

namespace {

class WindowsReadAloudTest : public TDialogsTest {};

} // namespace

// Controls a screen reader could not name: the clear-comment button read
// nothing, the settings' small buttons read "...", the tree's column "1".
TEST_F(WindowsReadAloudTest, EveryButtonAndColumnHasAUsableName)
{
    StartWithDialogs();
    TfrmAlerts alerts(Window.get());
    const std::vector<QWidget *> windows{Window.get(),
                                         &Windows->frmSettings,
                                         &Windows->frmKivDepartments,
                                         &Windows->frmKivStatuses,
                                         &Windows->frmKivComments,
                                         &Windows->frmKivUsers,
                                         &Windows->frmSelectStatus,
                                         &Windows->frmKivMessages,
                                         &Windows->frmKivMessageInBox,
                                         &Windows->frmSelectDepartment,
                                         &alerts};
    for (QWidget *window : windows) {
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            if (button->objectName().startsWith(QLatin1String("qt_")))
                continue;
            const QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(button);
            const QString name = reader != nullptr ? reader->text(QAccessible::Name) : QString();
            EXPECT_FALSE(name.trimmed().isEmpty() || name == QLatin1String("..."))
                << window->objectName().toStdString() << " " << button->objectName().toStdString();
        }
        for (QTreeWidget *tree : window->findChildren<QTreeWidget *>()) {
            for (int c = 0; c < tree->columnCount(); ++c) {
                bool number = false;
                tree->headerItem()->text(c).toInt(&number);
                EXPECT_FALSE(number) << tree->objectName().toStdString() << " column " << c;
            }
        }
    }
}

// The alert viewer's sentence ran to the dialog's edge.
TEST_F(WindowsReadAloudTest, TheAlertViewersSentenceKeepsItsMargin)
{
    StartWithDialogs();
    TfrmAlerts alerts(Window.get());
    const QLabel *label = alerts.lblUsers();
    EXPECT_LE(label->geometry().right(), alerts.width() - 8);
}

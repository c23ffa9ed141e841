// The frame every dialog shares, and what every window shows a screen reader.
#include "gui/KivDialog.h"
#include "tests/dialogs/DialogTesting.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
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

namespace {

class ByteLimitTest : public TDialogsTest {};

} // namespace

// A field that counted characters took 50 accented letters for a 50-byte
// field, and the stored text lost its second half without a word.
TEST_F(ByteLimitTest, EveryEditTakesAnAccentedTextOfItsFieldsBytesWholeAndRefusesMore)
{
    StartWithDialogs();
    const struct {
        QWidget *Dialog;
        const char *Edit;
        int Bytes;
    } fields[] = {
        {&Windows->frmKivUsers, "txtName", 50},        {&Windows->frmKivUsers, "txtComments", 50},
        {&Windows->frmKivUsers, "txtExtension", 10},   {&Windows->frmKivComments, "txtComments", 50},
        {&Windows->frmKivStatuses, "txtStatus", 30},   {&Windows->frmKivDepartments, "txtDepartment", 20},
        {&Windows->frmKivMessages, "txtSubject", 255}, {&Windows->frmSettings, "txtName", 50},
        {&Windows->frmSettings, "txtExtension", 10},
    };
    const QChar accented(0x00E9); // two bytes
    for (const auto &field : fields) {
        auto *edit = field.Dialog->findChild<QLineEdit *>(QString::fromLatin1(field.Edit));
        ASSERT_NE(edit, nullptr) << field.Edit;
        edit->clear();
        // Typed one character at a time, as the keyboard does.
        for (int i = 0; i < field.Bytes / 2; ++i)
            edit->insert(accented);
        const QString whole(field.Bytes / 2, accented);
        EXPECT_EQ(edit->text(), whole) << field.Edit;
        edit->insert(accented);
        EXPECT_EQ(edit->text(), whole) << field.Edit << ": one more is refused";
    }
}

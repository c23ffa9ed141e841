#include "dialogs/DialogSupport.h"

#include "gui/HelpWindow.h"
#include "platform/TerminalText.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

// The bytes an edit was filled with, and the text it showed for them.
constexpr const char *BytesProperty = "kivBytes";
constexpr const char *ShownProperty = "kivShown";

void ShowAction(QPushButton &button, const QAction &action)
{
    button.setText(action.text());
    button.setToolTip(action.statusTip());
    button.setEnabled(action.isEnabled());
}

} // namespace

TBusyCursor::TBusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void AddHelpKey(QWidget &dialog, const char *topic)
{
    auto *key = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
    key->setObjectName(QStringLiteral("keyHelp"));
    const QString where = QString::fromLatin1(topic);
    QObject::connect(key, &QShortcut::activated, &dialog, [&dialog, where] { ShowHelpTopic(&dialog, where); });
}

void UseOwnersFont(QWidget &dialog)
{
    if (const QWidget *owner = dialog.parentWidget())
        dialog.setFont(owner->window()->font());
}

QString Shown(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string Trimmed(const std::string &text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

void ReportOnStandardError(const std::string &text)
{
    PrintErrorText("kiv", text, true);
}

void BindButton(QPushButton &button, QAction &action, const std::function<void()> &update)
{
    ShowAction(button, action);
    QObject::connect(&action, &QAction::changed, &button, [&button, &action] { ShowAction(button, action); });
    QObject::connect(&button, &QPushButton::clicked, &action, [&action, update] {
        if (update)
            update();
        action.trigger();
    });
}

void SetEditBytes(QLineEdit &edit, const std::string &text)
{
    const QString shown = Shown(text);
    edit.setProperty(BytesProperty, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    edit.setProperty(ShownProperty, shown);
    edit.setText(shown);
    edit.setCursorPosition(0);
}

std::string EditBytes(const QLineEdit &edit)
{
    if (edit.property(ShownProperty).toString() == edit.text() && edit.property(BytesProperty).isValid()) {
        const QByteArray bytes = edit.property(BytesProperty).toByteArray();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    const QByteArray typed = edit.text().toUtf8();
    return std::string(typed.constData(), static_cast<std::size_t>(typed.size()));
}

void TAnchors::Add(QWidget &widget, QRect geometry, unsigned anchors)
{
    widget.setGeometry(geometry);
    FPlaced.push_back({&widget, geometry, anchors});
}

void TAnchors::Apply(QSize size) const
{
    const int dx = size.width() - FDesign.width();
    const int dy = size.height() - FDesign.height();
    for (const TPlaced &placed : FPlaced) {
        QRect geometry = placed.Geometry;
        if ((placed.Anchors & Right) != 0) {
            if ((placed.Anchors & Left) != 0)
                geometry.setWidth(geometry.width() + dx);
            else
                geometry.translate(dx, 0);
        }
        if ((placed.Anchors & Bottom) != 0) {
            if ((placed.Anchors & Top) != 0)
                geometry.setHeight(geometry.height() + dy);
            else
                geometry.translate(0, dy);
        }
        placed.Widget->setGeometry(geometry);
    }
}

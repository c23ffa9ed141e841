#include "gui/DialogSupport.h"

#include "gui/HelpWindow.h"
#include "platform/TerminalText.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QValidator>
#include <QWidget>

#include <cstdio>

namespace {

// The bytes an edit was filled with, and the text it showed for them.
constexpr const char *BytesProperty = "kivBytes";
constexpr const char *ShownProperty = "kivShown";

/// Admits at most a number of bytes of UTF-8. A text that was over the limit
/// when it was set (a stored text that is not UTF-8 shows longer) may still
/// be shortened: the line edit takes back only an edit that makes an
/// acceptable text unacceptable.
class TByteLimit final : public QValidator {
public:
    TByteLimit(int bytes, QObject *parent) : QValidator(parent), FBytes(bytes) {}
    State validate(QString &input, int &) const override
    {
        return input.toUtf8().size() <= FBytes ? Acceptable : Invalid;
    }

private:
    int FBytes;
};

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

QString ShownIsolated(const std::string &text)
{
    return Shown(Isolated(text));
}

void LimitToBytes(QLineEdit &edit, int bytes)
{
    // Every character takes a byte at least, so the length in characters
    // never refuses what the bytes admit; it cuts a long paste early.
    edit.setMaxLength(bytes);
    edit.setValidator(new TByteLimit(bytes, &edit));
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

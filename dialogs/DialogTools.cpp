#include "dialogs/DialogTools.h"

#include "board/Seams.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <exception>

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

QString ShownText(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void SetEditBytes(QLineEdit &edit, const std::string &text)
{
    const QString shown = ShownText(text);
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

bool RunReported(IPrompter &prompter, const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const std::exception &error) {
        prompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        return false;
    }
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

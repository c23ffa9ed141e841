#include "config/PageSettingsTab.h"

#include "config/KivCB.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *NewText(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QSpinBox *NewNumber(QWidget *parent, const char *name, int least, int most, const QString &suffix = QString())
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(least, most);
    spin->setSuffix(suffix);
    return spin;
}

QString Text(const std::string &text)
{
    return QString::fromStdString(text);
}

/// An edit's text as the setting keeps it: at most its longest, cut at a
/// character boundary.
std::string Setting(const QLineEdit &edit)
{
    return CutText(edit.text().toStdString(), kSettingTextMax);
}

} // namespace

TPageSettingsTab::TPageSettingsTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsWebPage"));
    auto *inside = new QWidget;
    const QString px = QStringLiteral(" px");

    FLocation = NewText(inside, "txtHTMLLocation");
    FLocation->setPlaceholderText(QStringLiteral("no page is written"));
    FEvery = NewNumber(inside, "seGenerateHTMLEvery", 1, 86400, QStringLiteral(" seconds"));
    FAutoUpdate = new QCheckBox(QStringLiteral("Browsers reload the page as often"), inside);
    FAutoUpdate->setObjectName(QStringLiteral("chkAutoUpdateInBrowser"));
    FInfo1 = NewText(inside, "txtInfo1");
    FInfo2 = NewText(inside, "txtInfo2");
    FThisPage = NewText(inside, "txtThisPage");
    FFontSize = NewNumber(inside, "seFontSize", 1, 7);
    FFontSize->setToolTip(QStringLiteral("1 (smallest) to 7 (largest); 3 is a browser's usual size"));
    FNameWidth = NewNumber(inside, "seNameWidth", 0, 2000, px);
    FStatusWidth = NewNumber(inside, "seStatusWidth", 0, 2000, px);
    FExtWidth = NewNumber(inside, "seExtWidth", 0, 2000, px);
    FDepartmentWidth = NewNumber(inside, "seDepartmentWidth", 0, 2000, px);
    FCommentsWidth = NewNumber(inside, "seCommentsWidth", 0, 2000, px);
    for (QSpinBox *width : {FNameWidth, FStatusWidth, FExtWidth, FDepartmentWidth, FCommentsWidth})
        width->setSpecialValueText(QStringLiteral("as needed"));
    FBorder = NewNumber(inside, "seTableBoader", 0, 100, px);
    FPadding = NewNumber(inside, "seCellPadding", 0, 100, px);
    FSpacing = NewNumber(inside, "seCellSpacing", 0, 100, px);

    auto *grid = new QGridLayout(inside);
    int row = 0;
    auto wide = [&](const QString &label, QWidget *field) {
        grid->addWidget(new QLabel(label, inside), row, 0);
        grid->addWidget(field, row++, 1, 1, 3);
    };
    wide(QStringLiteral("Write to file"), FLocation);
    wide(QStringLiteral("Every"), FEvery);
    grid->addWidget(FAutoUpdate, row++, 1, 1, 3);
    wide(QStringLiteral("Heading"), FInfo1);
    wide(QStringLiteral("Below it"), FInfo2);
    wide(QStringLiteral("Foot line"), FThisPage);
    auto pair = [&](const QString &left, QSpinBox *leftField, const QString &right, QSpinBox *rightField) {
        grid->addWidget(new QLabel(left, inside), row, 0);
        grid->addWidget(leftField, row, 1);
        grid->addWidget(new QLabel(right, inside), row, 2);
        grid->addWidget(rightField, row++, 3);
    };
    pair(QStringLiteral("Text size"), FFontSize, QStringLiteral("Border"), FBorder);
    pair(QStringLiteral("Padding"), FPadding, QStringLiteral("Spacing"), FSpacing);
    pair(QStringLiteral("User"), FNameWidth, QStringLiteral("Status"), FStatusWidth);
    pair(QStringLiteral("Ext"), FExtWidth, QStringLiteral("Department"), FDepartmentWidth);
    grid->addWidget(new QLabel(QStringLiteral("Comments"), inside), row, 0);
    grid->addWidget(FCommentsWidth, row++, 1);
    grid->setRowStretch(row, 1);

    // The dialog is small; the page's many values scroll inside it.
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(inside);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
}

void TPageSettingsTab::Load(const TKivSettings &settings)
{
    FLocation->setText(QFile::decodeName(QByteArray::fromStdString(settings.HTMLLocation)));
    FEvery->setValue(settings.GenerateHTMLEvery);
    FAutoUpdate->setChecked(settings.AutoUpdateInBrowser);
    FInfo1->setText(Text(settings.Info1));
    FInfo2->setText(Text(settings.Info2));
    FThisPage->setText(Text(settings.ThisPage));
    FFontSize->setValue(settings.FontSize);
    FNameWidth->setValue(settings.NameWidth);
    FStatusWidth->setValue(settings.StatusWidth);
    FExtWidth->setValue(settings.ExtWidth);
    FDepartmentWidth->setValue(settings.DepartmentWidth);
    FCommentsWidth->setValue(settings.CommentsWidth);
    FBorder->setValue(settings.TableBoader);
    FPadding->setValue(settings.CellPadding);
    FSpacing->setValue(settings.CellSpacing);
}

void TPageSettingsTab::Save(TKivSettings &settings) const
{
    settings.HTMLLocation = CutText(QFile::encodeName(FLocation->text().trimmed()).toStdString(), kSettingTextMax);
    settings.GenerateHTMLEvery = FEvery->value();
    settings.AutoUpdateInBrowser = FAutoUpdate->isChecked();
    settings.Info1 = Setting(*FInfo1);
    settings.Info2 = Setting(*FInfo2);
    settings.ThisPage = Setting(*FThisPage);
    settings.FontSize = FFontSize->value();
    settings.NameWidth = FNameWidth->value();
    settings.StatusWidth = FStatusWidth->value();
    settings.ExtWidth = FExtWidth->value();
    settings.DepartmentWidth = FDepartmentWidth->value();
    settings.CommentsWidth = FCommentsWidth->value();
    settings.TableBoader = FBorder->value();
    settings.CellPadding = FPadding->value();
    settings.CellSpacing = FSpacing->value();
}

// The settings dialog's page for the board page: what the web page of the
// board shows, where it is written and how often.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;
struct TKivSettings;

class TPageSettingsTab : public QWidget {
    Q_OBJECT
public:
    explicit TPageSettingsTab(QWidget *parent = nullptr);

    /// Puts the page group of settings into the controls.
    void Load(const TKivSettings &settings);
    /// Puts the controls' values back into the page group of settings.
    void Save(TKivSettings &settings) const;

    QLineEdit *txtLocation() const { return FLocation; }
    QSpinBox *seEvery() const { return FEvery; }
    QLineEdit *txtHeading() const { return FInfo1; }

private:
    QLineEdit *FLocation = nullptr;
    QSpinBox *FEvery = nullptr;
    QCheckBox *FAutoUpdate = nullptr;
    QLineEdit *FInfo1 = nullptr;
    QLineEdit *FInfo2 = nullptr;
    QLineEdit *FThisPage = nullptr;
    QSpinBox *FFontSize = nullptr;
    QSpinBox *FNameWidth = nullptr;
    QSpinBox *FStatusWidth = nullptr;
    QSpinBox *FExtWidth = nullptr;
    QSpinBox *FDepartmentWidth = nullptr;
    QSpinBox *FCommentsWidth = nullptr;
    QSpinBox *FBorder = nullptr;
    QSpinBox *FPadding = nullptr;
    QSpinBox *FSpacing = nullptr;
};

// The About box: the product's name and the version of the build.
#pragma once

#include <QDialog>

class QLabel;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    QLabel *lblProduct() const { return FProduct; }
    QLabel *lblVersion() const { return FVersion; }

    /// Shows the About box modally over parent.
    static void ShowAbout(QWidget *parent);

private:
    QLabel *FProduct = nullptr;
    QLabel *FVersion = nullptr;
};

// TfrmDatabaseWizard: the setup wizard shown at start-up while no board
// database folder is known, with which the user joins an existing board or
// chooses the folder for a new one.
#pragma once

#include <QDialog>

#include <string>

class TfrmDatabaseWizard : public QDialog {
public:
    enum class TEnd { Chosen, Cancelled, Closed }; // folder chosen / Cancel (program ends) / close box
    explicit TfrmDatabaseWizard(QWidget *parent = nullptr);
    TEnd Run();                 // shows it modally
    std::string Folder() const; // the confirmed folder, ending in '/'
};

// Stand-in until the wizard lands: it shows nothing and ends as its close box
// would, so start-up goes on to ask for the database location.
#include "config/DatabaseWizard.h"

TfrmDatabaseWizard::TfrmDatabaseWizard(QWidget *parent) : QDialog(parent) {}

TfrmDatabaseWizard::TEnd TfrmDatabaseWizard::Run()
{
    return TEnd::Closed;
}

std::string TfrmDatabaseWizard::Folder() const
{
    return std::string();
}

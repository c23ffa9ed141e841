#include "gui/FileDialog.h"

#include <QDir>
#include <QFileDialog>

#include <optional>

namespace {

// Choosers are asked for from the user-interface thread only.
std::optional<QString> NextFolder;
QString LastAskedTitle;

} // namespace

void TKivFileDialog::SetNextFolder(const QString &folder)
{
    NextFolder = folder;
}

QString TKivFileDialog::LastTitle()
{
    return LastAskedTitle;
}

QString TKivFileDialog::GetExistingDirectory(QWidget *parent, const QString &title, const QString &folder)
{
    LastAskedTitle = title;
    if (NextFolder) {
        const QString answer = *NextFolder;
        NextFolder.reset();
        return answer;
    }
    return QFileDialog::getExistingDirectory(parent, title, folder.isEmpty() ? QDir::homePath() : folder,
                                             QFileDialog::ShowDirsOnly);
}

#include "gui/FileDialog.h"

#include <QDir>
#include <QFileDialog>

#include <optional>

namespace {

// Choosers are asked for from the user-interface thread only.
std::optional<QString> NextFolder;
std::optional<QString> NextFile;
QString LastAskedTitle;
QString LastAskedFilter;

} // namespace

void TKivFileDialog::SetNextFolder(const QString &folder)
{
    NextFolder = folder;
}

void TKivFileDialog::SetNextFile(const QString &file)
{
    NextFile = file;
}

QString TKivFileDialog::LastTitle()
{
    return LastAskedTitle;
}

QString TKivFileDialog::LastFilter()
{
    return LastAskedFilter;
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

QString TKivFileDialog::GetOpenFileName(QWidget *parent, const QString &title, const QString &filter,
                                        const QString &folder, const QString &defaultSuffix)
{
    LastAskedTitle = title;
    LastAskedFilter = filter;
    if (NextFile) {
        const QString answer = *NextFile;
        NextFile.reset();
        return answer;
    }
    QFileDialog chooser(parent, title, folder.isEmpty() ? QDir::homePath() : folder, filter);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setDefaultSuffix(defaultSuffix);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = chooser.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

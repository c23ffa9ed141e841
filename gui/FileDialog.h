// The folder chooser: QFileDialog behind one call, with a test hook that
// answers the next chooser without showing it.
#pragma once

#include <QString>

class QWidget;

class TKivFileDialog {
public:
    /// Lets the user pick a folder in the desktop's folder chooser, titled
    /// title and opened at folder (the home folder when empty). The chosen
    /// folder's path, or empty when the chooser was cancelled.
    static QString GetExistingDirectory(QWidget *parent, const QString &title, const QString &folder = {});

    /// Test hook: the next chooser is not shown but answered at once with
    /// folder; an empty folder answers as a cancelled chooser.
    static void SetNextFolder(const QString &folder);
    /// Test hook: the title of the last chooser asked for, shown or not.
    static QString LastTitle();
};

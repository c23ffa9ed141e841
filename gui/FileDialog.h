// The folder and file choosers: QFileDialog behind one call each, with test
// hooks that answer the next chooser without showing it.
#pragma once

#include <QString>

class QWidget;

class TKivFileDialog {
public:
    /// Lets the user pick a folder in the desktop's folder chooser, titled
    /// title and opened at folder (the home folder when empty). The chosen
    /// folder's path, or empty when the chooser was cancelled.
    static QString GetExistingDirectory(QWidget *parent, const QString &title, const QString &folder = {});

    /// Lets the user pick an existing file in the desktop's file chooser,
    /// titled title, listing the files filter admits (a Qt name filter such
    /// as "*.wav (*.wav)"), opened at folder (the home folder when empty). A
    /// name typed without an extension gets defaultSuffix. The chosen file's
    /// full path, or empty when the chooser was cancelled.
    static QString GetOpenFileName(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &folder = {}, const QString &defaultSuffix = {});

    /// Test hook: the next folder chooser is not shown but answered at once
    /// with folder; an empty folder answers as a cancelled chooser.
    static void SetNextFolder(const QString &folder);
    /// Test hook: the same for the next file chooser.
    static void SetNextFile(const QString &file);
    /// Test hook: the title of the last chooser asked for, shown or not.
    static QString LastTitle();
    /// Test hook: the name filter of the last file chooser asked for.
    static QString LastFilter();
};

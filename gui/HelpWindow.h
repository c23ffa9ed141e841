// The help window: the program's user's guide, an HTML file named after the
// program with the extension ".hlp", beside it or in the installed share
// folder, shown at a topic (an anchor of the file).
#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QTextBrowser;

/// The help file of the program at programPath: its own path with the
/// extension replaced by ".hlp" when that file is there, else the file of that
/// name in the installed share folder (an installed program's folder holds
/// programs only). When neither is there, the one beside the program.
QString HelpFileFor(const QString &programPath);
/// The help file of the running program, HelpFileFor its path.
QString ProgramHelpFile();
/// The application's help file: the program's own until another is set.
QString HelpFile();
/// Sets the application's help file.
void SetHelpFile(const QString &path);

/// Opens the application's help file at topic in the help window, which
/// belongs to parent's window so that it can be used while that window is
/// modal. One help window serves the whole program. A help file that is
/// missing or cannot be read is reported in a message box.
void ShowHelpTopic(QWidget *parent, const QString &topic);

class TfrmHelp : public QWidget {
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget *parent = nullptr);

    /// Shows file at topic; a file already shown is only scrolled.
    void ShowTopic(const QString &file, const QString &topic);

    QTextBrowser *txtHelp() const { return FBrowser; }
    /// The help window ShowHelpTopic opened, while it is open.
    static TfrmHelp *Current();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextBrowser *FBrowser = nullptr;
    QString FFile;
};

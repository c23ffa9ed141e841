#include "gui/HelpWindow.h"

#include "gui/MessageBox.h"
#include "platform/Paths.h"

#include "KivLayout.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Set and read from the user-interface thread only.
QString ChosenHelpFile;
QPointer<TfrmHelp> OpenHelp;

} // namespace

QString HelpFileFor(const QString &programPath)
{
    const QFileInfo program(programPath);
    const QString name = program.completeBaseName() + QStringLiteral(".hlp");
    const QString beside = program.dir().filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed =
        QDir::cleanPath(program.dir().filePath(QStringLiteral(KIV_HELP_FROM_PROGRAM) + QLatin1Char('/') + name));
    return QFileInfo(installed).isFile() ? installed : beside;
}

QString ProgramHelpFile()
{
    const std::string program = ProgramPath();
    return HelpFileFor(program.empty() ? QCoreApplication::applicationFilePath() : QFile::decodeName(program.c_str()));
}

QString HelpFile()
{
    return ChosenHelpFile.isEmpty() ? ProgramHelpFile() : ChosenHelpFile;
}

void SetHelpFile(const QString &path)
{
    ChosenHelpFile = path;
}

TfrmHelp *TfrmHelp::Current()
{
    return OpenHelp.data();
}

void ShowHelpTopic(QWidget *parent, const QString &topic)
{
    const QString file = HelpFile();
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        const QString text = QStringLiteral("Kiv was unable to open its help file ") + file + QLatin1Char('.');
        TKivMessageBox(parent).Show(text.toStdString(), TMsgIcon::Warning, TMsgButtons::Ok);
        return;
    }

    // A window modal to the program blocks every window but its own, so the
    // help window goes with the window that asks for it.
    QWidget *owner = parent != nullptr ? parent->window() : nullptr;
    TfrmHelp *help = OpenHelp.data();
    if (help == nullptr) {
        help = new TfrmHelp(owner);
        OpenHelp = help;
    } else if (help->parentWidget() != owner) {
        help->setParent(owner, help->windowFlags());
    }
    help->ShowTopic(file, topic);
    help->show();
    help->raise();
    help->activateWindow();
}

TfrmHelp::TfrmHelp(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Kiv Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(680, 560);

    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName(QStringLiteral("txtHelp"));
    FBrowser->setOpenLinks(true);
    FBrowser->setOpenExternalLinks(false);

    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("barHelp"));
    QAction *back = bar->addAction(QStringLiteral("&Back"), FBrowser, &QTextBrowser::backward);
    back->setObjectName(QStringLiteral("actBack"));
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    connect(FBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    QAction *forward = bar->addAction(QStringLiteral("&Forward"), FBrowser, &QTextBrowser::forward);
    forward->setObjectName(QStringLiteral("actForward"));
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    connect(FBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    QAction *contents =
        bar->addAction(QStringLiteral("&Contents"), this, [this] { ShowTopic(FFile, QStringLiteral("Contents")); });
    contents->setObjectName(QStringLiteral("actContents"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(FBrowser);
}

void TfrmHelp::keyPressEvent(QKeyEvent *event)
{
    // Esc closes the help, as it closes the dialogs it is opened from.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmHelp::ShowTopic(const QString &file, const QString &topic)
{
    FFile = file;
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(topic);
    // The extension ".hlp" says nothing of the content: the file is HTML.
    FBrowser->setSource(url, QTextDocument::HtmlResource);
}

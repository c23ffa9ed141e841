#include "dialogs/DialogSupport.h"

#include "gui/HelpWindow.h"

#include <QApplication>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <cstdio>

TBusyCursor::TBusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void AddHelpKey(QWidget &dialog, const char *topic)
{
    auto *key = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
    key->setObjectName(QStringLiteral("keyHelp"));
    const QString where = QString::fromLatin1(topic);
    QObject::connect(key, &QShortcut::activated, &dialog, [&dialog, where] { ShowHelpTopic(&dialog, where); });
}

void UseOwnersFont(QWidget &dialog)
{
    if (const QWidget *owner = dialog.parentWidget())
        dialog.setFont(owner->window()->font());
}

QString Shown(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string Trimmed(const std::string &text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

void ReportOnStandardError(const std::string &text)
{
    std::string line = "kiv: ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        // C1 controls arrive in UTF-8 as 0xC2 0x80..0x9F; a terminal obeys them too.
        const bool c1 = c == 0xC2 && next >= 0x80 && next < 0xA0;
        if (c1)
            ++i;
        line += (c < ' ' || c == 0x7F || c1) ? ' ' : text[i];
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

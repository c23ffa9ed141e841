// Where the program finds its help file: beside itself in the build tree,
// in the installed share folder once installed.
#include "gui/HelpWindow.h"
#include "tests/storage/TestFolder.h"

#include "KivLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

namespace {

QString Q(const std::string &path)
{
    return QString::fromStdString(path);
}

void Touch(const std::string &path)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Q(path)).path()));
    QFile file(Q(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

} // namespace

TEST(HelpFileTest, BesideTheProgramFirstThenTheInstalledShareFolder)
{
    TTestFolder root;
    const std::string program = root / "bin/kiv";
    Touch(program);
    const std::string installed = QDir::cleanPath(Q(root / "bin/" KIV_HELP_FROM_PROGRAM "/kiv.hlp")).toStdString();

    // Neither: the one beside the program is named, as a missing file.
    EXPECT_EQ(HelpFileFor(Q(program)), Q(root / "bin/kiv.hlp"));

    Touch(installed);
    EXPECT_EQ(HelpFileFor(Q(program)), Q(installed));

    // A help file beside the program (the build tree's) comes first.
    Touch(root / "bin/kiv.hlp");
    EXPECT_EQ(HelpFileFor(Q(program)), Q(root / "bin/kiv.hlp"));

    // The name follows the program's, without its extension; a folder of that
    // name is not a help file.
    Touch(root / "bin/kiv-test.bin");
    ASSERT_TRUE(QDir().mkpath(Q(root / "bin/kiv-test.hlp")));
    Touch(root / "share/kiv/kiv-test.hlp");
    EXPECT_EQ(HelpFileFor(Q(root / "bin/kiv-test.bin")), Q(root / "share/kiv/kiv-test.hlp"));
}

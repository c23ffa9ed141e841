// The board page and the JSON of kivctl as other programs see them: a real
// browser, a strict HTML5 parser, a JSON parser, and a reader beside a writer.
#include "board/BoardPage.h"
#include "board/KivText.h"
#include "board/WebText.h"
#include "tests/ctl/CtlTesting.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

/// Runs a shell command; answers its exit status and, in out, its output.
int Shell(const std::string &command, std::string *out = nullptr)
{
    std::string text;
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        text.append(chunk, n);
    const int status = pclose(pipe);
    if (out != nullptr)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Runs check_page.py: empty when all is well, else what is wrong.
std::string Check(const std::string &arguments, std::string *out = nullptr)
{
    std::string text, &said = out != nullptr ? *out : text;
    return Shell("/usr/bin/python3 " KIV_CHECK_PAGE " " + arguments, &said) == 0 ? "" : arguments + ": " + said;
}

std::size_t Count(const std::string &text, const std::string &what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

const std::string kScript = "<script>alert(1)</script>";
const std::string kImage = "<img src=x onerror=alert(2)>";

class PageTest : public TCtlTest {
protected:
    /// A board of 60 users: two with names that are markup, five "Offline".
    void FillBoard()
    {
        for (int i = 0; i < 60; ++i)
            AddUser("U" + std::to_string(i), [i](char *record) {
                PutText(record, UserRecord::Name, i == 0 ? kScript : i == 1 ? kImage : "User " + std::to_string(i));
                PutText(record, UserRecord::Status, i >= 55 ? "Offline" : "In meeting");
                PutText(record, UserRecord::Comments,
                        i == 2 ? "a\xFF"
                                 "b \"quoted\" & more"
                               : "");
            });
    }

    const std::string Page = Home.Root() + "/page.html";
};

} // namespace

TEST(WebTextTest, HostileTextIsInertInAPageAndInJson)
{
    struct TCase {
        std::string Stored, Html, Json;
    };
    const std::vector<TCase> cases{
        {kScript, "&lt;script&gt;alert(1)&lt;/script&gt;", "\"<script>alert(1)</script>\""},
        {"a\"b'c&amp;", "a&quot;b&#39;c&amp;amp;", "\"a\\\"b'c&amp;\""},
        {"back\\slash\ttab", "back\\slash\ttab", "\"back\\\\slash\\ttab\""},
        {"esc\x1b[31m", "esc\xEF\xBF\xBD[31m", "\"esc\\u001b[31m\""},
        {"c1 \xC2\x9B", "c1 \xEF\xBF\xBD", "\"c1 \\u009b\""},
        // A right-to-left override and a line separator: escaped in JSON, so a
        // terminal showing it is not reordered.
        {"rlo \xE2\x80\xAE ls \xE2\x80\xA8", "rlo \xE2\x80\xAE ls \xE2\x80\xA8", "\"rlo \\u202e ls \\u2028\""},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},
        // A lone byte, an overlong slash, a surrogate and a cut character:
        // one replacement for each byte that is no character.
        {"x\xFFy", "x\xEF\xBF\xBDy", "\"x\xEF\xBF\xBDy\""},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD", "\"end\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"nonchar \xEF\xBF\xBE", "nonchar \xEF\xBF\xBD", "\"nonchar \xEF\xBF\xBE\""},
    };
    for (const TCase &c : cases) {
        EXPECT_EQ(WebText::Html(c.Stored), c.Html) << c.Stored;
        EXPECT_EQ(WebText::Json(c.Stored), c.Json) << c.Stored;
    }
}

TEST_F(PageTest, ABrowserShowsTheBoardWithMarkupAsTextAndNobodySignedIn)
{
    FillBoard();
    TKivSettings settings;
    TKivCB().ReadSettings(settings);
    settings.Info1 = kImage;
    settings.AutoUpdateInBrowser = true;
    settings.ShowOfflineUsers = false;
    TKivCB().WriteSettings(settings);
    const TCtlResult written = OnBoard({"page", "--out", Page});
    ASSERT_EQ(written.Code, 0) << written.Err;
    EXPECT_EQ(StoredUsers(Board).size(), 60u) << "the page signed somebody in";
    EXPECT_EQ(Check("html " + Page), "");

    const std::string browser = "HOME=" + Home.Root() + " timeout 120 chromium --headless --no-sandbox --disable-gpu "
                                + "--user-data-dir=" + Home.Root() + "/chromium ";
    std::string dom;
    ASSERT_EQ(Shell(browser + "--dump-dom file://" + Page, &dom), 0);
    EXPECT_EQ(Count(dom.substr(dom.find("<tbody>")), "<tr>"), 55u);
    EXPECT_EQ(Count(dom, "<th scope=\"col\">"), 6u);
    for (const char *shown : {"row\">&lt;script&gt;alert(1)&lt;/script&gt;", "row\">&lt;img src=x onerror=alert(2)&gt;",
                              "<h1>&lt;img src=x", "This page is updated every 30 seconds. Written ",
                              "a\xEF\xBF\xBD"
                              "b \"quoted\" &amp; more",
                              "http-equiv=\"refresh\" content=\"30\""})
        EXPECT_NE(dom.find(shown), std::string::npos) << shown;

    const std::string shot = Home.Root() + "/shot.png";
    ASSERT_EQ(Shell(browser + "--window-size=1920,1080 --screenshot=" + shot + " file://" + Page), 0);
    EXPECT_EQ(Check("shot " + shot + " 1920 1080"), "");
}

TEST_F(PageTest, APageIsWrittenOnlyWhenTheBoardOrTheMinuteChangedAndReplacesALink)
{
    AddUser("ANNA", [](char *record) { PutText(record, UserRecord::Status, "Available"); });
    const std::string victim = Home.Root() + "/victim";
    TTempHome::WriteAll(victim, "keep");
    ASSERT_EQ(symlink(victim.c_str(), Page.c_str()), 0);

    TFakeBoard fakes;
    TKivFile kiv(Board, fakes.Ctx, "VIEWER");
    TPagePublisher publisher;
    TPageLook look;
    EXPECT_TRUE(publisher.Publish(kiv, look, Page));
    EXPECT_EQ(TTempHome::ReadAll(victim), "keep");
    struct stat st {};
    ASSERT_EQ(lstat(Page.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    EXPECT_FALSE(publisher.Publish(kiv, look, Page));
    fakes.Clock.Moment += 60;
    EXPECT_TRUE(publisher.Publish(kiv, look, Page));
    EXPECT_FALSE(publisher.Publish(kiv, look, Page));
    ASSERT_TRUE(ChangeStoredUser(Board, "ANNA", [](char *r) { PutText(r, UserRecord::Status, "Gone home"); }));
    EXPECT_TRUE(publisher.Publish(kiv, look, Page));
    EXPECT_NE(TTempHome::ReadAll(Page).find("Gone home"), std::string::npos);
    // The settings dialog's OK changes the look: a new page at once.
    look.Info1 = "Reception";
    EXPECT_TRUE(publisher.Publish(kiv, look, Page));

    // A reader beside a writer sees one whole page or the next, never a part.
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (writing) {
            const std::string page = TTempHome::ReadAll(Page);
            ++reads;
            torn += !page.starts_with("<!DOCTYPE html>") || !page.ends_with("</html>\n");
        }
    });
    for (int i = 0; i < 200; ++i) {
        look.Info2 = std::string(std::size_t(i) * 50, 'x');
        publisher.Publish(kiv, look, Page);
    }
    writing = false;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(torn.load(), 0);
}

TEST_F(PageTest, JsonOfTheBoardStatusesAndInBoxParsesWithItsShape)
{
    FillBoard();
    AddUser(Me);
    ASSERT_EQ(OnBoard({"send", Me, kScript, "body"}).Code, 0);
    const std::vector<std::string> expected{"\"user\": \"<script>alert(1)</script>\"",
                                            "\"comments\": \"a\\ufffdb \\\"quoted\\\" & more\"", "\"Available\"",
                                            "\"subject\": \"<script>alert(1)</script>\""};
    std::string all;
    for (const std::string kind : {"board", "statuses", "inbox"}) {
        const TCtlResult result = OnBoard({kind, "--json"});
        ASSERT_EQ(result.Code, 0) << result.Err;
        const std::string file = Home.Root() + "/" + kind + ".json";
        TTempHome::WriteAll(file, result.Out);
        std::string items;
        EXPECT_EQ(Check("json " + kind + " " + file, &items), "");
        all += items;
    }
    for (const std::string &text : expected)
        EXPECT_NE(all.find(text), std::string::npos) << text;
    EXPECT_EQ(OnBoard({"board", "--json", "--csv"}).Code, 2);
}

TEST_F(PageTest, PageEveryFollowsTheBoardUntilStopped)
{
    AddUser("ANNA", [](char *record) { PutText(record, UserRecord::Status, "Available"); });
    const int out = open("/dev/null", O_WRONLY);
    const pid_t pid = Start({"--board", Board, "page", "--out", Page, "--every", "1"}, out, Home.Root() + "/err");
    close(out);
    auto waitFor = [&](const std::string &text) {
        for (int i = 0; i < 100; ++i) {
            if (TTempHome::ReadAll(Page).find(text) != std::string::npos)
                return true;
            usleep(100000);
        }
        return false;
    };
    EXPECT_TRUE(waitFor("Available"));
    EXPECT_TRUE(waitFor("every 1 second."));
    ASSERT_TRUE(ChangeStoredUser(Board, "ANNA", [](char *r) { PutText(r, UserRecord::Status, "Gone home"); }));
    EXPECT_TRUE(waitFor("Gone home"));
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Help: which page each help request opens, that the pages are there and link up,
// that they quote the program's own words, and that F1 asks for a dialog's topic.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/help.h"
#include "resources/resource.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "ui/function_test_dlg.h"
#include "tests/support/rc_reader.h"
#include "tests/unit/scheduler_fixture.h"
#include "ui/settings_dlg.h"
#include "ui/sub_dialogs.h"

namespace {

constexpr DWORD kBase = 0x20000;

// Every dialog template's context, the scheduler's own context, and a few that
// no dialog gives.
const std::map<DWORD, std::string> kExpectedPages = {
    {kBase + IDD_VESPRA_DIALOG, "scheduler.html"},
    {0x200CB, "scheduler.html"},
    {kBase + IDD_TIMED_MESSAGE, "scheduler.html"},
    {kBase + IDD_SETTINGS_DIALOG, "settings.html"},
    {kBase + IDD_SET_PASSWORD, "settings.html"},
    {kBase + IDD_ENTER_PASSWORD, "settings.html"},
    {kBase + IDD_CHECK_TIMES, "settings.html"},
    {kBase + IDD_ADVANCED, "advanced.html"},
    {kBase + IDD_FUNCTION_TEST, "advanced.html"},
    {kBase + IDD_ABOUTBOX, "index.html"},
    {0, "index.html"},
    {kBase, "index.html"},
    {IDD_SETTINGS_DIALOG, "index.html"},
    {0xFFFFFFFFu, "index.html"},
};

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::vector<std::string> kPageFiles = {"index.html", "scheduler.html", "settings.html",
                                             "advanced.html"};

std::string HelpDir() {
    return VESPRA_SOURCE_DIR "/help/";
}

TEST(HelpPages, EachContextOpensItsPage) {
    for (const auto &[context, page] : kExpectedPages)
        EXPECT_EQ(HelpPageForContext(context), page) << std::hex << context;
}

TEST(HelpPages, EveryDialogTemplateHasADecidedPageThatShips) {
    // A new dialog must be given its page here on purpose.
    for (const auto &[id, dialog] : ProgramResources().dialogs) {
        const DWORD context = kBase + DWORD(id);
        EXPECT_EQ(kExpectedPages.count(context), 1u) << "no page decided for template " << id;
        const std::string page = HelpPageForContext(context);
        EXPECT_FALSE(ReadText(HelpDir() + page).empty()) << page;
    }
    EXPECT_FALSE(ReadText(HelpDir() + HelpPageForContext(0x200CB)).empty());
}

TEST(HelpPages, CommandsOpenAPageBesideTheProgramOrNothing) {
    struct Case {
        UINT cmd;
        DWORD data;
        const char *program;
        const char *target;
    } cases[] = {
        {HELP_CONTEXT, kBase + IDD_SETTINGS_DIALOG, "C:\\Program Files\\Vespra\\vespra.exe",
         "C:\\Program Files\\Vespra\\help\\settings.html"},
        {HELP_CONTEXT, 0x200CB, "c:\\v\\vespra.exe", "c:\\v\\help\\scheduler.html"},
        {HELP_CONTEXT, 7, "\\\\server\\share\\vespra.exe", "\\\\server\\share\\help\\index.html"},
        {HELP_CONTENTS, 0, "c:\\v\\vespra.exe", "c:\\v\\help\\index.html"},
        {HELP_FINDER, 0, "c:\\v\\vespra.exe", "c:\\v\\help\\index.html"},
        {HELP_CONTEXT, kBase + IDD_ADVANCED, "vespra.exe", "help\\advanced.html"},
        // Closing: the pages are in the user's browser, nothing of ours to close.
        {HELP_QUIT, 0, "c:\\v\\vespra.exe", ""},
        {0x0105 /* HELP_SETWINPOS */, 0, "c:\\v\\vespra.exe", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HelpTarget(c.cmd, c.data, c.program), c.target) << c.cmd << " " << c.data;
}

// ---- The pages themselves.

class PageText : public ::testing::Test {
protected:
    static std::vector<std::string> Captures(const std::string &text, const std::string &pattern) {
        std::vector<std::string> found;
        const std::regex re(pattern);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), re);
             it != std::sregex_iterator(); ++it)
            found.push_back((*it)[1].str());
        return found;
    }
    // The text as the page's reader sees it: tags gone, entities and runs of
    // blanks undone.
    static std::string Plain(std::string s) {
        s = std::regex_replace(s, std::regex("<[^>]*>"), "");
        for (const auto &[entity, ch] : std::vector<std::pair<std::string, std::string>>{
                 {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}}) {
            for (size_t at; (at = s.find(entity)) != std::string::npos;)
                s.replace(at, entity.size(), ch);
        }
        return std::regex_replace(s, std::regex("\\s+"), " ");
    }
};

TEST_F(PageText, LinksResolveAndNoPageRunsScript) {
    EXPECT_FALSE(ReadText(HelpDir() + "vespra.css").empty());
    std::map<std::string, std::set<std::string>> ids;
    for (const std::string &file : kPageFiles) {
        const std::string text = ReadText(HelpDir() + file);
        ASSERT_FALSE(text.empty()) << file;
        ids[file]; // a page may have no anchors
        for (const std::string &id : Captures(text, "id=\"([^\"]+)\""))
            ids[file].insert(id);
    }
    for (const std::string &file : kPageFiles) {
        const std::string text = ReadText(HelpDir() + file);
        EXPECT_EQ(text.find("<script"), std::string::npos) << file;
        EXPECT_NE(text.find("href=\"vespra.css\""), std::string::npos) << file;
        for (const std::string &href : Captures(text, "href=\"([^\"]+)\"")) {
            if (href == "vespra.css")
                continue;
            const size_t hash = href.find('#');
            const std::string target = hash == 0 ? file : href.substr(0, hash);
            ASSERT_EQ(ids.count(target), 1u) << file << " links to " << href;
            if (hash != std::string::npos) {
                EXPECT_EQ(ids[target].count(href.substr(hash + 1)), 1u)
                    << file << " links to " << href;
            }
        }
    }
}

TEST_F(PageText, QuotedLabelsAndMessagesAreTheProgramsOwn) {
    const RcData &rc = ProgramResources();
    // Labels: captions and control texts as shown (no '&'), and the strings that
    // replace some of them at run time.
    std::set<std::string> labels;
    for (const auto &[id, text] : rc.strings)
        labels.insert(text);
    for (const auto &[id, dialog] : rc.dialogs) {
        labels.insert(dialog.caption);
        for (const RcControl &c : dialog.controls) {
            std::string text = c.text;
            text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
            labels.insert(text);
        }
    }
    // A message matches a string with %1 and %2 filled in.
    std::vector<std::regex> messages;
    for (const auto &[id, text] : rc.strings) {
        std::string pattern;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 1 < text.size() &&
                isdigit(static_cast<unsigned char>(text[i + 1]))) {
                pattern += ".+";
                ++i;
            } else if (isspace(static_cast<unsigned char>(text[i]))) {
                while (i + 1 < text.size() && isspace(static_cast<unsigned char>(text[i + 1])))
                    ++i;
                pattern += "\\s+";
            } else if (std::string("\\^$.|?*+()[]{}").find(text[i]) != std::string::npos) {
                pattern += std::string("\\") + text[i];
            } else {
                pattern += text[i];
            }
        }
        messages.emplace_back(pattern);
    }
    auto isMessage = [&](std::string quoted) {
        // "..." at the end: the shown part must open one of the strings.
        if (quoted.size() > 4 && quoted.compare(quoted.size() - 4, 4, " ...") == 0) {
            quoted.erase(quoted.size() - 4);
            for (const auto &[id, text] : rc.strings)
                if (Plain(text).compare(0, quoted.size(), quoted) == 0)
                    return true;
            return false;
        }
        for (const std::regex &re : messages)
            if (std::regex_match(quoted, re))
                return true;
        return false;
    };
    size_t quotedLabels = 0, quotedMessages = 0;
    for (const std::string &file : kPageFiles) {
        const std::string text = ReadText(HelpDir() + file);
        for (const std::string &label : Captures(text, "<span class=\"ui\">([^<]*)</span>")) {
            ++quotedLabels;
            EXPECT_EQ(labels.count(Plain(label)), 1u) << file << ": \"" << Plain(label) << "\"";
        }
        for (const std::string &message : Captures(text, "<span class=\"msg\">([^<]*)</span>")) {
            ++quotedMessages;
            EXPECT_TRUE(isMessage(Plain(message))) << file << ": \"" << Plain(message) << "\"";
        }
    }
    EXPECT_GT(quotedLabels, 50u);
    EXPECT_GT(quotedMessages, 15u);
}

// ---- F1 and the Help button.

// Records the requests instead of opening pages.
class RecordingApp : public CWinApp {
public:
    void WinHelp(DWORD data, UINT cmd) override { asked.emplace_back(data, cmd); }
    std::vector<std::pair<DWORD, UINT>> asked;
};

class HelpRequests : public SchedulerTest {};

TEST_F(HelpRequests, F1AsksForTheDialogsTopicAsItsHelpButtonDoes) {
    RecordingApp app;
    CAdvancedDlg advanced(nullptr, TRUE);
    fake::Open(advanced);
    EXPECT_TRUE(advanced.OnHelpInfo());
    CFunctionTestDlg test(nullptr);
    fake::Open(test);
    EXPECT_TRUE(test.OnHelpInfo());
    using Call = std::pair<DWORD, UINT>;
    EXPECT_EQ(app.asked, (std::vector<Call>{{kBase + IDD_ADVANCED, HELP_CONTEXT},
                                            {kBase + IDD_FUNCTION_TEST, HELP_CONTEXT}}));
}

TEST_F(HelpRequests, TheSchedulerAllowsTheSettingsTopicOnlyDuringItsStartupPhase) {
    CVespraApp app;
    CVespraDlg sched(nullptr, FALSE, FALSE, FALSE);
    fake::Open(sched);
    app.m_pMainWnd = &sched;
    CSettingsDlg settings(sched.GetData(), nullptr);
    sched.CopyToSettingsDlg(settings);
    fake::Open(settings);
    settings.OnHelpInfo(); // during the startup countdown
    sched.EnterWaitingState();
    settings.OnHelpInfo(); // while the scheduler waits
    app.m_pMainWnd = nullptr;
    using Call = std::pair<DWORD, UINT>;
    EXPECT_EQ(fake::State().helpCalls,
              (std::vector<Call>{{kBase + IDD_SETTINGS_DIALOG, HELP_CONTEXT}}));
}

} // namespace

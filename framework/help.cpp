#include "framework/help.h"

#include "framework/app.h"
#include "resources/resource.h"

namespace {
constexpr DWORD kContextBase = 0x20000;
// The scheduler dialog's F1 and the network-client message's Help button.
constexpr DWORD kSchedulerContext = 0x200CB;
constexpr char kContentsPage[] = "index.html";

struct ContextPage {
    DWORD context;
    const char *page;
};

// Each dialog's topic. The password prompts, the after-midnight check and the
// wrong-password message have no page of their own: each goes to the page that
// explains the setting or the step they belong to. About goes to the contents.
constexpr ContextPage kPages[] = {
    {kContextBase + IDD_VESPRA_DIALOG, "scheduler.html"},
    {kSchedulerContext, "scheduler.html"},
    {kContextBase + IDD_TIMED_MESSAGE, "scheduler.html"},
    {kContextBase + IDD_SETTINGS_DIALOG, "settings.html"},
    {kContextBase + IDD_SET_PASSWORD, "settings.html"},
    {kContextBase + IDD_ENTER_PASSWORD, "settings.html"},
    {kContextBase + IDD_CHECK_TIMES, "settings.html"},
    {kContextBase + IDD_ADVANCED, "advanced.html"},
    {kContextBase + IDD_FUNCTION_TEST, "advanced.html"},
    {kContextBase + IDD_ABOUTBOX, kContentsPage},
};
} // namespace

const char *HelpPageForContext(DWORD context) {
    for (const ContextPage &entry : kPages)
        if (entry.context == context)
            return entry.page;
    return kContentsPage;
}

std::string HelpTarget(UINT cmd, DWORD data, const std::string &programPath) {
    const char *page = nullptr;
    if (cmd == HELP_CONTEXT)
        page = HelpPageForContext(data);
    else if (cmd == HELP_CONTENTS || cmd == HELP_FINDER)
        page = kContentsPage;
    if (!page)
        return "";
    const size_t slash = programPath.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : programPath.substr(0, slash + 1);
    return folder + "help\\" + page;
}

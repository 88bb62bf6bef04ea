// Help is a folder of HTML pages beside the programs ("help\"), opened with the
// shell's default handler for .html files. The dialogs keep asking with the classic
// help commands and contexts (0x20000 plus the template id); this maps them to pages.
#pragma once

#include <string>

#include "framework/win32_types.h"

#ifndef _WIN32
#define HELP_CONTENTS 0x0003u
#define HELP_FINDER 0x000Bu
#endif

// The page file (no folder) that answers a HELP_CONTEXT request. Contexts without a
// page of their own get the contents page, so a request never opens nothing.
const char *HelpPageForContext(DWORD context);

// What a help command opens, given the running program's full path: the page's
// full path for HELP_CONTEXT, the contents page for HELP_CONTENTS and HELP_FINDER,
// and "" for HELP_QUIT and everything else (there is no help window of our own to
// close: the pages live in the user's browser).
std::string HelpTarget(UINT cmd, DWORD data, const std::string &programPath);

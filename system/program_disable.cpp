#include "system/program_disable.h"

#include <string>

#include "framework/text.h"
#include "resources/resource.h"
#include "system/files.h"
#include "system/platform.h"

void EnableProgramFile(bool enable, ProgramDirectory directory, UINT normalNameId,
                       UINT disabledNameId) {
    // The NT family protects its system files; renaming is for Windows 95/98/Me only.
    if (IsWindowsNT())
        return;
    std::string dir = directory == SystemDirectory ? GetSystemDir() : GetWindowsDir();
    if (dir.empty())
        return;
    if (dir.back() != '\\')
        dir += '\\';
    const std::string normal = dir + LoadStr(normalNameId);
    const std::string disabled = dir + LoadStr(disabledNameId);
    const bool haveNormal = FileExists(normal) != FALSE;
    const bool haveDisabled = FileExists(disabled) != FALSE;
    // Which name exists on disk is the whole state; results are ignored and the next
    // call starts again from whatever it finds.
    if (enable) {
        if (haveNormal && haveDisabled)
            DeleteFilePath(disabled);
        else if (!haveNormal && haveDisabled)
            MoveFilePath(disabled, normal);
    } else {
        if (haveNormal && haveDisabled)
            DeleteFilePath(normal);
        else if (haveNormal && !haveDisabled)
            MoveFilePath(normal, disabled);
    }
}

void EnableDateTimeControlPanel(bool enable) {
    EnableProgramFile(enable, SystemDirectory, IDS_TIMEDATE_CPL, IDS_TIMEDATE_DISABLED);
}

void EnableRegistryPrograms(bool enable) {
    EnableProgramFile(enable, WindowsDirectory, IDS_REGEDIT_EXE, IDS_REGEDIT_DISABLED);
    EnableProgramFile(enable, SystemDirectory, IDS_MSCONFIG_EXE, IDS_MSCONFIG_DISABLED);
}

// Disabling and restoring the Date/Time control panel and the registry-modifying
// programs by renaming their files (Windows 95/98/Me only).
#pragma once

#include "framework/win32_types.h"

enum ProgramDirectory { SystemDirectory, WindowsDirectory };

void EnableProgramFile(bool enable, ProgramDirectory directory, UINT normalNameId,
                       UINT disabledNameId);
void EnableDateTimeControlPanel(bool enable);
void EnableRegistryPrograms(bool enable);

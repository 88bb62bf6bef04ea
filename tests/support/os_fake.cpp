#include <cstring>

#include "system/desktop_calls.h"
#include "system/os.h"
#include "tests/support/fake_os.h"

namespace fake {
namespace {
Os g_os;
}
Os &OsState() {
    return g_os;
}
void ResetOs() {
    g_os = Os();
}
} // namespace fake

BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size) {
    fake::Os &os = fake::OsState();
    ++os.localeCalls;
    auto it = os.locale.find(item);
    if (os.localeFails || it == os.locale.end() || size <= 0)
        return FALSE;
    // Like GetLocaleInfoA: fails when the answer and its NUL don't fit.
    if (it->second.size() + 1 > size_t(size))
        return FALSE;
    memcpy(buffer, it->second.c_str(), it->second.size() + 1);
    return TRUE;
}

MutexOutcome CreateInstanceMutex(const char *name, bool secured) {
    fake::Os &os = fake::OsState();
    os.mutexNames.push_back(name);
    auto answer = os.mutexAnswers.find(name);
    if (answer == os.mutexAnswers.end() && os.mutexFails)
        return MutexOutcome::Failed;
    ++os.mutexCreations;
    os.mutexSecured = secured;
    if (answer != os.mutexAnswers.end())
        return answer->second;
    return os.mutexExists && std::string(name) == "Vespra" ? MutexOutcome::Existed
                                                           : MutexOutcome::Created;
}

BOOL ReadInputDesktopName(std::string &name) {
    fake::Os &os = fake::OsState();
    ++os.inputDesktopReads;
    // Like GetUserObjectInformationA into 260 characters: a longer name does not fit.
    if (os.inputDesktopFails || os.inputDesktop.size() + 1 > MAX_PATH)
        return FALSE;
    name = os.inputDesktop;
    return TRUE;
}

BOOL GetMachineTimeZoneName(std::string &name) {
    name = fake::OsState().timeZone;
    return name.empty() ? FALSE : TRUE;
}

// The scheduler's single-instance test across sessions.
#include "system/log.h"
#include "system/os.h"

namespace {
bool HeldByAnother(const char *name, MutexOutcome outcome) {
    if (outcome == MutexOutcome::UserMade)
        WriteLog(std::string("Ignoring mutex ") + name + " - not made by the system");
    // A mutex we may not change was made by a scheduler of another account or
    // session: that is another instance, as much as one we could open.
    return outcome == MutexOutcome::Existed || outcome == MutexOutcome::Denied;
}
} // namespace

BOOL TakeInstanceMutexes(bool globalNamespace, bool secured) {
    // Both names are always taken, so that a later start sees this instance by
    // either, whichever of the two its session and rights let it see.
    const bool global = globalNamespace &&
                        HeldByAnother("Global\\Vespra", CreateInstanceMutex("Global\\Vespra", secured));
    const bool local = HeldByAnother("Vespra", CreateInstanceMutex("Vespra", secured));
    return global || local ? TRUE : FALSE;
}

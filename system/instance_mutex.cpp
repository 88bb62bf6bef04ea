// The scheduler's single-instance test across sessions.
#include "system/os.h"

namespace {
bool HeldByAnother(MutexOutcome outcome) {
    // A mutex we may not change was made by a scheduler of another account or
    // session: that is another instance, as much as one we could open.
    return outcome == MutexOutcome::Existed || outcome == MutexOutcome::Denied;
}
} // namespace

BOOL TakeInstanceMutexes(bool globalNamespace, bool nullDacl) {
    // Both names are always taken, so that a later start sees this instance by
    // either, whichever of the two its session and rights let it see.
    const bool global =
        globalNamespace && HeldByAnother(CreateInstanceMutex("Global\\Vespra", nullDacl));
    const bool local = HeldByAnother(CreateInstanceMutex("Vespra", nullDacl));
    return global || local ? TRUE : FALSE;
}

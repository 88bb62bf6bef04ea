#include "system/session.h"

bool DecideSessionZeroMode(const WorldFacts &facts) {
    if (facts.stationKnown && !facts.stationVisible)
        return true;
    return facts.sessionsKnown && facts.processSession != facts.consoleSession;
}

bool IsSessionZeroMode() {
    WorldFacts facts;
    QueryWorldFacts(facts);
    return DecideSessionZeroMode(facts);
}

ForcedRequest MakeForcedRequest(bool restart) {
    DWORD error = 0;
    if (RequestSystemShutdown(restart ? TRUE : FALSE, error))
        return ForcedRequest::Made;
    return error == DWORD(ERROR_SHUTDOWN_IN_PROGRESS) ? ForcedRequest::RepeatAtNextTick
                                                      : ForcedRequest::Failed;
}

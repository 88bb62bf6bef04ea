#include "session/sessions.h"

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

#include "system/logon.h"

// Placeholder until log-on detection is built: assume a user is logged on.
bool IsUserLoggedOn() {
    return true;
}

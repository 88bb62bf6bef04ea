// Whether an interactive user is logged on.
#pragma once

bool IsUserLoggedOn();

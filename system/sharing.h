// Answering the file-sharing warning that a shut-down may raise: a system dialog
// titled "Sharing" whose Yes button is pressed.
#pragma once

#include "system/window_calls.h"

// Finds the top-level "#32770" window titled with string 101 ("Sharing"), makes it
// the active window and clicks its child of id 6 (IDYES). True when it clicked;
// false, with nothing touched, when there is no such dialog or it has no such child.
bool CloseSharingDialog();

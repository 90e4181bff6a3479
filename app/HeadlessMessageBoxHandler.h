#pragma once
// Message boxes of a run without a window: each text (and its detail) goes to
// standard error and, once the main frame exists, to the event box and the
// event log. Nothing waits for a person; OK is the only answer there is.

void InstallHeadlessMessageBoxHandler();

// The launcher's clean-up of a work folder, as the benchmark calls it: the
// one place that says which call that is.
#pragma once

// Removes folder with everything in it; true when it is gone.
bool LauncherCleanUp(const char* folder);

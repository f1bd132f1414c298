// Runs the unpacked installer, waits for it, removes the work folder and
// restarts Windows when the installer asks for it.
#pragma once

class UserInterface;

// Called only after extract succeeded; true in every case.
bool launch(UserInterface& ui);

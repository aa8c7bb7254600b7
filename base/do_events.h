#pragma once
namespace kelvora {
// Processes every event waiting for the GUI thread, then returns without waiting
// for new ones. Handlers of any window may run inside, the caller's included.
void DoEvents();
} // namespace kelvora

// The switch for spinning before sleep: a thread that has just handed work on (a run loop
// after a pass that did work, one idle dispatch worker) may look for the next piece of work
// for up to 100 us of real time before it sleeps, instead of paying a wake-up. It lowers the
// latency of chains of hand-offs on idle cores but costs processor time, which busy cores
// cannot spare. The default is $ZVT_SPIN_BEFORE_SLEEP when set ("1" on, "0" off), else off.
#pragma once

namespace zvt {

bool spinBeforeSleep();
// Applies from the next time a thread would spin; any thread.
void setSpinBeforeSleep(bool on);

}  // namespace zvt

#pragma once
// Choosing a temperature scale by name, as a command rather than a click on a scale box:
// the scale the registers show now counts as chosen, so asking for it again changes nothing.
#include "temperature/temperature.h"

namespace evkit::temperature {

// Refreshes the settings from the device, then changes to the up or down scale unless it
// is already the shown one. Returns 0 or the first failing status.
int chooseScale(TemperatureSettings& settings, bool up, View& view);

}  // namespace evkit::temperature

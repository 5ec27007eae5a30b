#include "temperature/scale_choice.h"

namespace evkit::temperature {

int chooseScale(TemperatureSettings& settings, bool up, View& view) {
    if (const int s = settings.refresh(view); s != 0) return s;
    if (settings.selection[up ? 1 : 0] != 0) return 0;
    return settings.scaleChange(up ? ScaleBox::Up : ScaleBox::Down, true, view);
}

}  // namespace evkit::temperature

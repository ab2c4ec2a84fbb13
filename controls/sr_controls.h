// The drawn controls of the test pages, in one include.
#pragma once

#include "controls/sr_colors.h"
#include "controls/sr_fader.h"
#include "controls/sr_led.h"
#include "controls/sr_level_bar.h"
#include "controls/sr_panel.h"
#include "controls/sr_speed_button.h"
#include "controls/sr_value_display.h"

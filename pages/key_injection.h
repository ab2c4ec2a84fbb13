// Key strokes for the focused window: the console's SHIFT, ESC and ENTER
// keys arrive as MCS key reports and are replayed as keyboard input.
#pragma once

namespace mpu::pages {

// Virtual-key codes as the console reports them: 0x10 Shift, 0x1B Escape,
// 0x0D Enter. On X11 the key goes to the desktop (XTest); elsewhere it is
// delivered to this program's focused widget.
void InjectVirtualKey(int virtualKey, bool down);

}  // namespace mpu::pages

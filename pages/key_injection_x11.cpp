// Key strokes to the X11 desktop through the XTest extension.
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace mpu::pages {

bool InjectX11Key(int virtualKey, bool down) {
  KeySym sym = 0;
  switch (virtualKey) {
    case 0x10: sym = XK_Shift_L; break;
    case 0x1B: sym = XK_Escape; break;
    case 0x0D: sym = XK_Return; break;
    default: return false;
  }
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  if (display == nullptr) return false;
  const KeyCode code = XKeysymToKeycode(display, sym);
  if (code == 0 || !XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime)) return false;
  XFlush(display);
  return true;
}

}  // namespace mpu::pages

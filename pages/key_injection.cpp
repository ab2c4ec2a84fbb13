#include "pages/key_injection.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace mpu::pages {

// X11 half (key_injection_x11.cpp, kept apart from Qt's event names).
bool InjectX11Key(int virtualKey, bool down);

namespace {

struct KeyMap {
  int VirtualKey;
  Qt::Key QtKey;
};

constexpr KeyMap kKeys[] = {{0x10, Qt::Key_Shift}, {0x1B, Qt::Key_Escape}, {0x0D, Qt::Key_Return}};

}  // namespace

void InjectVirtualKey(int virtualKey, bool down) {
  for (const KeyMap& k : kKeys) {
    if (k.VirtualKey != virtualKey) continue;
    if (InjectX11Key(virtualKey, down)) return;
    if (QWidget* focus = QApplication::focusWidget()) {
      QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, k.QtKey,
                      k.QtKey == Qt::Key_Shift && down ? Qt::ShiftModifier : Qt::NoModifier);
      QApplication::sendEvent(focus, &event);
    }
    return;
  }
}

}  // namespace mpu::pages

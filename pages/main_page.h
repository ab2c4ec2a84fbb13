// One page of the main window's pager. Pages keep no model of the unit:
// their controls are the state. The main window calls the hooks below from
// its UpdateControlStates and RefreshActivePage, the single places that
// enable controls and send page requests.
#pragma once

#include <QWidget>

#include "device/mpu_types.h"

namespace mpu::pages {

class TMainForm;

class TMainPage : public QWidget {
  Q_OBJECT

 public:
  TMainPage(TMainForm& main, const QString& objectName, QWidget* parent = nullptr);

  // Enables, disables and resets the page's controls for the connection
  // and session state. Runs inside the update guard.
  virtual void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session);
  // The session state changed (the session buttons and what a session
  // locks follow it).
  virtual void SessionStatusChanged(TMPUConnectionStatus connection, TMPUSessionStatus session);
  // Sends the requests that fill the page; called only while the
  // connection is open and the page is the active one.
  virtual void RefreshPage();

 protected:
  TMainForm& Main;
};

}  // namespace mpu::pages

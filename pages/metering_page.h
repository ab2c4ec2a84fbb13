// The "Metering" page: the bus meters of the metering block, with Test and
// Reset.
#pragma once

#include <cstdint>
#include <span>

#include "pages/main_page.h"

namespace mpu::pages {

class TMeteringPage : public TMainPage {
  Q_OBJECT

 public:
  TMeteringPage(TMainForm& main, QWidget* parent = nullptr);

  // A metering block while this page is the visible one (MPUMeteringData).
  void ShowMeteringBlock(std::span<const std::int8_t, 256> data);
};

}  // namespace mpu::pages

#include "pages/metering_page.h"

namespace mpu::pages {

TMeteringPage::TMeteringPage(TMainForm& main, QWidget* parent) : TMainPage(main, "tabMetering", parent) {}

void TMeteringPage::ShowMeteringBlock(std::span<const std::int8_t, 256>) {}

}  // namespace mpu::pages

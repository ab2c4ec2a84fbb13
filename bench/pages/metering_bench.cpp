// The Metering page's cost on the user-interface thread: metering blocks
// into a shown main window (offscreen platform, default window size, all 24
// bars visible), each figure the UI thread's CPU time, beside the 10 ms that
// one block period allows at 100 blocks a second.
//
//   Block/AllBarsMove   one block that lifts every bar by one LED, handed to
//                       TMainForm::MPUMeteringData with the Metering page
//                       active, plus the repaint it causes (the pending
//                       events processed): the worst case per block
//   Paced/<page>        one second of blocks at 100 a second from a 10 ms
//                       timer, programme-like levels, the bars' fall-back
//                       and hold timers running as in the program; <page>
//                       is Metering (visible) or System (blocks ignored)
//
// Counters: cpu_us_per_block beside budget_us_per_block (10,000), and
// cpu_ms_per_s beside budget_ms_per_s (1,000); load_pct = CPU / budget;
// paints_per_block counts the bars' paint events (24 when all repaint).
// A summary follows the table.
#include <benchmark/benchmark.h>

#include "bench/common/figures_reporter.h"
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "controls/sr_level_bar.h"
#include "pages/main_form.h"
#include "pages/metering_page.h"
#include "usb/usb_driver.h"

namespace {

using mpu::TSRLevelBar;
using mpu::pages::TMainForm;
using mpu::pages::TMeteringPage;
using Block = std::array<std::int8_t, 256>;

constexpr double kBlocksPerSecond = 100;
constexpr double kBudgetUsPerBlock = 1e6 / kBlocksPerSecond;  // 10 ms
constexpr double kBudgetMsPerSecond = 1000;

double ThreadCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// No unit attached: the window is only fed blocks by hand.
class TNoUnitDriver : public mpu::usb::UsbDriver {
 public:
  bool Loaded() const override { return true; }
  std::optional<mpu::usb::LibraryVersion> GetVersion() override {
    return mpu::usb::LibraryVersion{1, 0, 0, 0};
  }
  int ExpectedMajorVersion() const override { return 1; }
  std::optional<std::vector<mpu::usb::DeviceListEntry>> ListDevices() override {
    return std::vector<mpu::usb::DeviceListEntry>{};
  }
  std::unique_ptr<mpu::usb::UsbDevice> Open(const mpu::usb::DeviceListEntry&) override {
    return nullptr;
  }
};

// Counts the paint events of the bars.
class TPaintCounter : public QObject {
 public:
  long Paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

struct TFixture {
  std::unique_ptr<TMainForm> Form;
  TMeteringPage* Page = nullptr;
  TPaintCounter Counter;
};
TFixture* gFixture = nullptr;

void Deliver(const Block& block) {
  gFixture->Form->MPUMeteringData(std::span<const std::int8_t, 256>(block), 24);
}

void Flush() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ShowPage(int index) {
  gFixture->Form->PageControl()->setCurrentIndex(index);
  Flush();
}

void SetCounters(benchmark::State& state, double cpuSeconds, double blocks, long paints) {
  if (blocks <= 0) return;
  const double usPerBlock = cpuSeconds * 1e6 / blocks;
  state.counters["cpu_us_per_block"] = usPerBlock;
  state.counters["budget_us_per_block"] = kBudgetUsPerBlock;
  state.counters["cpu_ms_per_s"] = usPerBlock * kBlocksPerSecond / 1000.0;
  state.counters["budget_ms_per_s"] = kBudgetMsPerSecond;
  state.counters["load_pct"] = 100.0 * usPerBlock / kBudgetUsPerBlock;
  state.counters["paints_per_block"] = static_cast<double>(paints) / blocks;
}

// Every bar one LED higher than the block before: all 24 bars repaint.
void BlockAllBarsMove(benchmark::State& state) {
  ShowPage(TMainForm::pgMetering);
  TMeteringPage& page = *gFixture->Page;
  const std::vector<mpu::TSRLevelLed>& leds = page.Bar(0)->Leds();
  auto restart = [&] {
    page.ResetMeters(true);
    page.ResetMeters(false);
    Flush();
  };
  restart();
  std::size_t led = 0;
  Block block;
  block.fill(static_cast<std::int8_t>(0x80));
  double cpu = 0;
  double blocks = 0;
  long paints = 0;
  for (auto _ : state) {
    if (led >= leds.size()) {
      state.PauseTiming();
      restart();
      led = 0;
      state.ResumeTiming();
    }
    const auto value = static_cast<std::int8_t>(std::lround(leds[led++].Threshold * 2.0));
    std::fill_n(block.begin(), TMeteringPage::kBarCount, value);
    const long paintsBefore = gFixture->Counter.Paints;
    const double t0 = ThreadCpuSeconds();
    Deliver(block);
    Flush();
    cpu += ThreadCpuSeconds() - t0;
    paints += gFixture->Counter.Paints - paintsBefore;
    ++blocks;
  }
  SetCounters(state, cpu, blocks, paints);
}

// Levels like programme material: each meter wanders around its own
// average, with bursts; about a third of the bars rise in a given block.
class TProgramme {
 public:
  TProgramme() {
    for (std::size_t i = 0; i < FLevel.size(); ++i)
      FLevel[i] = FAverage[i] = -30.0 + static_cast<double>(i % 7) * 4.0;
  }
  Block Next() {
    Block block;
    block.fill(static_cast<std::int8_t>(0x80));
    std::uniform_real_distribution<double> step(-5.0, 5.0);
    std::bernoulli_distribution burst(0.05);
    for (std::size_t i = 0; i < FLevel.size(); ++i) {
      double& l = FLevel[i];
      l = 0.8 * l + 0.2 * FAverage[i] + step(FRng) + (burst(FRng) ? 12.0 : 0.0);
      l = std::clamp(l, -60.0, 18.0);
      block[i] = static_cast<std::int8_t>(std::lround(l * 2.0));
    }
    return block;
  }

 private:
  std::mt19937 FRng{7};
  std::array<double, TMeteringPage::kBarCount> FLevel{};
  std::array<double, TMeteringPage::kBarCount> FAverage{};
};

// One second of wall time at 100 blocks a second, through the event loop.
void Paced(benchmark::State& state, int pageIndex) {
  ShowPage(pageIndex);
  TProgramme programme;
  double cpu = 0;
  double blocks = 0;
  long paints = 0;
  for (auto _ : state) {
    QEventLoop loop;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(static_cast<int>(1000 / kBlocksPerSecond));
    long sent = 0;
    QObject::connect(&feed, &QTimer::timeout, [&] {
      Deliver(programme.Next());
      ++sent;
    });
    QTimer::singleShot(1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    const long paintsBefore = gFixture->Counter.Paints;
    const double t0 = ThreadCpuSeconds();
    feed.start();
    loop.exec();
    feed.stop();
    cpu += ThreadCpuSeconds() - t0;
    paints += gFixture->Counter.Paints - paintsBefore;
    blocks += static_cast<double>(sent);
  }
  SetCounters(state, cpu, blocks, paints);
  state.counters["blocks_per_s"] = blocks / static_cast<double>(state.iterations());
}

class TBudgetReporter : public mpu::bench::TFiguresReporter {
 protected:
  void PrintSummary(const Figures& figures) override {
    std::printf(
        "\nMetering page, UI thread CPU time at %.0f blocks/s (budget: %.0f ms per block, %.0f ms "
        "per s)\n",
        kBlocksPerSecond, kBudgetUsPerBlock / 1000, kBudgetMsPerSecond);
    std::printf("%-26s %14s %12s %12s %10s %10s\n", "figure", "CPU us/block", "budget us",
                "CPU ms/s", "budget ms", "load");
    for (const auto& [name, c] : figures)
      std::printf("%-26s %14.1f %12.0f %12.2f %10.0f %9.2f%%\n", name.c_str(), Value(c, "cpu_us_per_block"),
                  Value(c, "budget_us_per_block"), Value(c, "cpu_ms_per_s"), Value(c, "budget_ms_per_s"),
                  Value(c, "load_pct"));
  }
};

// The window as the user sees it: default size, Metering page, all bars
// shown with every LED drawn.
bool PrepareWindow(TFixture& fixture) {
  fixture.Form->show();
  fixture.Form->PageControl()->setCurrentIndex(TMainForm::pgMetering);
  QElapsedTimer t;
  t.start();
  while (!(fixture.Form->windowHandle() && fixture.Form->windowHandle()->isExposed()) &&
         t.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  Flush();
  fixture.Page = fixture.Form->MeteringPage();
  if (!fixture.Page) return false;
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) {
    TSRLevelBar* bar = fixture.Page->Bar(i);
    if (!bar || !bar->isVisible() || bar->LedRect(0).isEmpty() ||
        bar->LedRect(bar->LedCount() - 1).isEmpty()) {
      std::fprintf(stderr, "bar %d is not fully visible\n", i);
      return false;
    }
    bar->installEventFilter(&fixture.Counter);
  }
  const QSize least = fixture.Form->minimumSizeHint();
  std::printf("window %dx%d (smallest %dx%d), %s platform, bars %dx%d px\n", fixture.Form->width(),
              fixture.Form->height(), least.width(), least.height(),
              qPrintable(QGuiApplication::platformName()), fixture.Page->Bar(0)->width(),
              fixture.Page->Bar(0)->height());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  TFixture fixture;
  fixture.Form = std::make_unique<TMainForm>(std::make_shared<TNoUnitDriver>());
  fixture.Form->ShowErrorBox = [](const QString&, const QString&) {};
  if (!PrepareWindow(fixture)) return 1;
  gFixture = &fixture;

  benchmark::RegisterBenchmark("Block/AllBarsMove", BlockAllBarsMove)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Paced/Metering", Paced, static_cast<int>(TMainForm::pgMetering))
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Paced/System", Paced, static_cast<int>(TMainForm::pgSystem))
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);

  // On this (the UI) thread: the benchmark's CPU column is the UI thread's.
  TBudgetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  gFixture = nullptr;
  fixture.Form->MPU().SetActive(false);
  fixture.Form.reset();
  return 0;
}

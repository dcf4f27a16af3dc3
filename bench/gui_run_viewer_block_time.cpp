// A day's data log in the data log viewer: a .LOG of 24 hours at one line a second with every
// register of tables A to C (86,400 rows), as the product writes it with Log All. Measures how
// long reading it takes (the reader alone, then the window from Open until it is drawn) and the
// GUI thread's longest block while the window reads it and while the chart pans over half the
// day for 5 s (a drag: one step every 16 ms), first with the default registers shown, then with
// twenty; and how often, in those 5 s, the plot got lines thinned for the span it showed. See
// gui_block_probe.h for how the gaps are measured. Targets: open in under 1 s (Release build), the
// longest gap under 16 ms.
#include <unistd.h>

#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gui/run_viewer.h"
#include "gui_block_probe.h"
#include "monitor/register_table_data.h"
#include "monitor/run_log.h"
#include "monitor/status_block.h"

namespace {

using namespace cw;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration time) { return std::chrono::duration<double, std::milli>(time).count(); }

void Pad(std::string& line, std::size_t start, std::size_t width) {
  if (line.size() - start < width) line.append(width - (line.size() - start), ' ');
}

// The .LOG a day of Log All at 1 s gives: a pack discharging and charging, with a minute of lost
// link every few hours.
std::filesystem::path WriteDayLog() {
  const auto path =
      std::filesystem::temp_directory_path() / ("cw-day-" + std::to_string(::getpid()) + ".LOG");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return {};
  std::string text =
      "Cellwarden\tVersion: 3.07\tQuillmarsh Electronic LTD.\r\n2026/12/08\t00:00:00\r\n\r\n"
      "DesignCapacity: 4500\r\n\r\nSample        Stamp        Elapsed(s)        ";
  std::vector<monitor::SbsRegisterInfo> rows;
  for (const auto* table : {&monitor::register_data::kTableA, &monitor::register_data::kTableB}) {
    rows.insert(rows.end(), table->begin(), table->end());
  }
  rows.insert(rows.end(), monitor::register_data::kTableC.begin(),
              monitor::register_data::kTableC.end());
  for (const auto& row : rows) {
    const std::string name = monitor::CompactName(row.name);
    text += name + std::string(row.format == "%s" ? 81 : 4, ' ');
  }
  text += "\r\n";
  char value[64];
  for (int second = 0; second < 86'400; ++second) {
    std::string& line = text;
    std::size_t start = line.size();
    line += std::to_string(second + 1);
    Pad(line, start, 14);
    start = line.size();
    std::snprintf(value, sizeof value, "%02d:%02d:%02d", second / 3600, second / 60 % 60,
                  second % 60);
    line += value;
    Pad(line, start, 13);
    start = line.size();
    line += std::to_string(second + 1);
    Pad(line, start, 18);
    const bool lost = second % 10'800 >= 5'000 && second % 10'800 < 5'060;
    const double phase = std::sin(second / 86'400.0 * 6.2832);
    for (std::size_t c = 0; c < rows.size(); ++c) {
      const monitor::SbsRegisterInfo& row = rows[c];
      const std::size_t width = monitor::CompactName(row.name).size() + 4;
      if (row.format == "%s") {
        for (std::size_t i = 0; i < monitor::kDebugInfoLength; ++i) {
          line += lost ? "NaN" : "4F";
          if (i + 1 < monitor::kDebugInfoLength) line += ' ';
        }
        continue;
      }
      start = line.size();
      if (lost) {
        line += "NaN";
      } else if (row.format == "%.1f") {
        std::snprintf(value, sizeof value, "%.1f", 25 + 8 * phase + (second % 7) * 0.1);
        line += value;
      } else if (row.format.back() == 'X' || row.format.back() == 'x') {
        std::snprintf(value, sizeof value, std::string(row.format).c_str(), 0x00C0u + c);
        line += value;
      } else {
        // A spike now and then: the thinning must keep it.
        const int spike = second % 4'001 == 0 ? 900 : 0;
        std::snprintf(value, sizeof value, "%d",
                      static_cast<int>(15'000 + 1'200 * phase) / static_cast<int>(c + 1) + spike);
        line += value;
      }
      Pad(line, start, width);
    }
    line += "\r\n";
    if (text.size() > (1 << 22)) {
      std::fwrite(text.data(), 1, text.size(), file);
      text.clear();
    }
  }
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  bench::TimedApplication application(argc, argv);
  gui::ApplyProductLook(application);
  const std::filesystem::path path = WriteDayLog();
  if (path.empty()) return 1;

  std::printf("A day of Log All at 1 s: %s, %.0f MB\n", path.c_str(),
              static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  std::vector<double> reads;
  std::size_t columns = 0;
  std::size_t rows = 0;
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    const auto log = monitor::ReadRunLog(path);
    reads.push_back(Ms(Clock::now() - start));
    if (!log) {
      std::fprintf(stderr, "%s\n", log.error().message.c_str());
      return 1;
    }
    rows = log->rows();
    columns = log->columns.size();
  }
  std::sort(reads.begin(), reads.end());
  std::printf(
      "  reader alone               %zu rows x %zu columns: %.0f ms (best of 5), %.0f ms "
      "(median)\n",
      rows, columns, reads.front(), reads[reads.size() / 2]);

  gui::RunViewer viewer;
  viewer.resize(1600, 900);
  viewer.show();
  bench::Settle(500);
  application.WatchRedraws(&viewer.plot(), &viewer.plot());
  bool opened = false;
  const auto start = Clock::now();
  Clock::duration open_time{};
  int lines_drawn = 0;
  QObject::connect(&viewer, &gui::RunViewer::linesDrawn, [&] {
    ++lines_drawn;
    if (opened || viewer.chart().run_count() == 0) return;
    viewer.plot().repaint();
    open_time = Clock::now() - start;
    opened = true;
  });
  viewer.Open({QString::fromStdString(path.string())});
  const bench::GuiBlocks opening = bench::Measure(application, [&](qint64) { return opened; });
  std::printf("  window, Open to drawn      %.0f ms\n", Ms(open_time));
  std::printf("GUI thread while the window reads the day\n");
  bench::PrintBlocks(opening, application);

  const auto pan_for = [&](const char* what) {
    viewer.ShowAll();
    viewer.ZoomAt(viewer.chart().Extent().start, 0.5);  // half the day: 43,200 rows a line
    bench::Settle(300);
    application.slowest = 0;
    application.frames = 0;
    application.frames_cpu = 0;
    application.costliest_frame_cpu = 0;
    int step = 0;
    lines_drawn = 0;
    QTimer drag;
    drag.setInterval(16);
    QObject::connect(&drag, &QTimer::timeout, [&] {
      // To the end of the day and back, as a hand drags.
      const double length = viewer.chart().span().length();
      viewer.PanBy((step++ / 60) % 2 == 0 ? length / 50 : -length / 50);
      // Painted at every step, as a screen that shows every frame would have it (the offscreen
      // platform paints only when asked): the span of the step before, with the lines that came.
      viewer.plot().repaint();
    });
    drag.start();
    const bench::GuiBlocks panning =
        bench::Measure(application, [](qint64 real_ns) { return real_ns >= 5'000'000'000; });
    drag.stop();
    std::printf("GUI thread while the chart pans, %s\n", what);
    bench::PrintBlocks(panning, application);
    std::printf("  lines thinned for the span shown: %d times for %d steps of the drag\n",
                lines_drawn, step);
  };
  pan_for("default registers");
  QListWidget& list = viewer.register_list();
  for (int i = 0, ticked = 0; i < list.count() && ticked < 20; ++i) {
    if (list.item(i)->checkState() == Qt::Checked) {
      ++ticked;
    } else {
      list.item(i)->setCheckState(Qt::Checked);
      ++ticked;
    }
  }
  pan_for("twenty registers");
  std::filesystem::remove(path);
  return 0;
}

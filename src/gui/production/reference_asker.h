#pragma once

#include <QObject>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "production/recipe.h"
#include "production/station.h"

namespace cw::gui {

// Asks the operator for the references a recipe leaves to each pack (a fixture's meter reading),
// for a lane whose run reached its calibration. The lane's thread waits for the answer; the GUI
// shows one dialog per lane that asks. Cancel, a Stop or the window's closing answers "nothing",
// which ends that run as stopped before calibration.
class ReferenceAsker final : public QObject {
  Q_OBJECT

 public:
  explicit ReferenceAsker(QWidget& window) : window_(window) {}
  // Answers every question still open with nothing.
  ~ReferenceAsker() override { Close(); }

  // On a lane's thread: blocks until the operator answers.
  std::optional<production::AskedReferences> Ask(const production::CalibrateStep& step,
                                                 const production::LaneView& lane);
  // On the GUI thread: every open question is answered with nothing and its dialog closed.
  void CancelAll();
  // CancelAll, and every later question is answered with nothing at once: the window is going,
  // and a lane must not wait for a dialog nobody will show.
  void Close();

 private:
  struct Question {
    std::promise<std::optional<production::AskedReferences>> answer;
    bool answered = false;
    QObject* dialog = nullptr;
  };
  void Answer(const std::shared_ptr<Question>& question,
              std::optional<production::AskedReferences> references);
  void ShowDialog(const production::CalibrateStep& step, const std::string& adapter,
                  const std::shared_ptr<Question>& question);

  QWidget& window_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Question>> open_;
  bool closed_ = false;
};

}  // namespace cw::gui

#pragma once
// How engine threads tell the user interface about progress: a message number with
// two parameters, posted (never sent: a worker never waits for the interface).
// A message owns its text and names objects by id or by a receiver's key, never by
// a pointer that could dangle by the time it arrives.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct PostedMessage {
  std::uint32_t message = 0;
  std::int64_t wParam = 0;
  std::int64_t lParam = 0;
  std::u16string text;
  // 0: the current top window; otherwise the key of a receiver the interface
  // registered (a dialog that follows one job).
  std::uint64_t target = 0;
};

class INotifier {
 public:
  virtual ~INotifier() = default;
  // Called from any thread; must not block on the user interface.
  virtual void Post(PostedMessage message) = 0;
};

// The program's notifier; null (the default) drops every message, as when no
// window exists yet.
void SetNotifier(INotifier* notifier);
INotifier* GetNotifier();
void PostToUi(std::uint32_t message, std::int64_t wParam = 0, std::int64_t lParam = 0, std::u16string text = {},
              std::uint64_t target = 0);

// Keeps every message posted to it, for tests.
class RecordingNotifier : public INotifier {
 public:
  void Post(PostedMessage message) override;
  std::vector<PostedMessage> Messages() const;
  std::vector<PostedMessage> Messages(std::uint32_t message) const;
  std::size_t Count(std::uint32_t message) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<PostedMessage> messages_;
};

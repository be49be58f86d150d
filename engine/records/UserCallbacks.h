#pragma once
// The questions and messages the engine puts to the user, and opening a file with
// the desktop's application. The user interface serves this interface; tests answer
// it from a script.
//
// A worker that asks waits for the answer; a stop answers Cancel, so the user
// interface never has to wait for a thread that has a question open.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Answers, with the values of the system's dialog results.
enum class Answer : int { None = 0, Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, Custom };
enum class MessageIcon { None, Information, Question, Warning, Error };

// Which question is asked, so that the interface shows the right dialog and a test
// script can tell the questions apart.
enum class QuestionKind : int {
  Confirm = 0,               // a plain yes/no or ok/cancel question
  ProbableFileSize = 1,      // the recovery's size dialog for carved files
  DestinationOnSource = 2,   // the destination folder lies on the source drive
  DestinationUnknown = 3,    // the destination's device can't be told apart from the source
  TryOpenWarning = 4,        // "try to open" warning
  DeleteTemporaryFiles = 5,  // delete the temporary copies made by "try to open"
};

// Whether the asker of a question still wants its answer: AskUser's keepWaiting,
// which the interface may ask from its own thread while the question is shown.
// Once the asker has its answer (End), it is not called any more.
class QuestionWatch {
 public:
  explicit QuestionWatch(std::function<bool()> keepWaiting) : keepWaiting_(std::move(keepWaiting)) {}
  bool StillWanted() {
    std::lock_guard lock(mutex_);
    return active_ && (!keepWaiting_ || keepWaiting_());
  }
  void End() {
    std::lock_guard lock(mutex_);
    active_ = false;
  }

 private:
  std::mutex mutex_;
  bool active_ = true;
  std::function<bool()> keepWaiting_;
};

struct Question {
  QuestionKind kind = QuestionKind::Confirm;
  std::u16string text;
  std::u16string caption;
  Buttons buttons = Buttons::YesNo;
  MessageIcon icon = MessageIcon::Question;
  std::vector<std::int64_t> values;  // the question's own data (sizes, modes, ...)
  std::u16string detail;             // a name or path the dialog shows
  // Set by AskUser once the asker stops waiting (a stop answered it Cancel): a
  // dialog still open for the question closes as Cancel, one not shown yet is not
  // shown. Null for a question nobody withdraws.
  std::shared_ptr<std::atomic<bool>> withdrawn;
  bool Withdrawn() const { return withdrawn && withdrawn->load(); }
  // Set by AskUser when it was given a keepWaiting: a question answered on the
  // asker's own thread (the interface's) is never withdrawn, so the interface asks
  // this while the question is shown, and closes it as Cancel once its cause has
  // ended. Null: nobody watches.
  std::shared_ptr<QuestionWatch> watch;
  bool StillWanted() const { return !Withdrawn() && (!watch || watch->StillWanted()); }
};

struct Reply {
  Answer answer = Answer::Cancel;
  std::vector<std::int64_t> values;  // what the dialog chose (a size, a mode, ...)
  std::u16string text;               // a chosen path, when the dialog asks for one
};

class IUserCallbacks {
 public:
  virtual ~IUserCallbacks() = default;
  // Called from any thread. The answer is given through `reply`, at once or later
  // from the user-interface thread; a reply that is dropped counts as Cancel.
  virtual void Ask(const Question& question, std::promise<Reply> reply) = 0;
  virtual void ShowMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon) = 0;
  // Opens a file (or folder) with the desktop's default application; false when
  // nothing could open it.
  virtual bool OpenWithDesktop(const std::string& path) = 0;
};

void SetUserCallbacks(IUserCallbacks* callbacks);
IUserCallbacks* GetUserCallbacks();

// Asks and waits for the answer. `keepWaiting`, when given, is polled while waiting:
// once it returns false the wait ends with Cancel and the question is marked
// withdrawn. Without callbacks the answer is Cancel.
Reply AskUser(const Question& question, const std::function<bool()>& keepWaiting = {});
void ShowUserMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon);
bool OpenWithDesktop(const std::string& path);

// Answers from a script, in order per question kind, and records what was asked,
// shown and opened.
class ScriptedUserCallbacks : public IUserCallbacks {
 public:
  // Queues the reply to the next question of `kind`.
  void Script(QuestionKind kind, Reply reply);
  void Script(QuestionKind kind, Answer answer) { Script(kind, Reply{answer, {}, {}}); }
  // The reply given when nothing is queued for a kind (Cancel unless set).
  void SetDefault(Reply reply);
  // Questions are not answered until Release() (to test a stop while one is open).
  void HoldAnswers(bool hold);
  void Release();
  void SetOpenResult(bool ok);

  void Ask(const Question& question, std::promise<Reply> reply) override;
  void ShowMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override;
  bool OpenWithDesktop(const std::string& path) override;

  std::vector<Question> Asked() const;
  std::vector<std::u16string> Messages() const;
  std::vector<std::string> Opened() const;

 private:
  Reply Next(QuestionKind kind);
  mutable std::mutex mutex_;
  std::vector<std::pair<QuestionKind, Reply>> script_;
  Reply default_{};
  bool hold_ = false;
  std::deque<std::pair<QuestionKind, std::promise<Reply>>> held_;
  bool openResult_ = true;
  std::vector<Question> asked_;
  std::vector<std::u16string> messages_;
  std::vector<std::string> opened_;
};

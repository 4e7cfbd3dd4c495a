#include "cli/console_host.h"

#include <string>

#include "core/text_codec.h"

namespace korvel::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

bool IsErrorLine(const std::u16string& text) { return text.rfind(u"Error", 0) == 0; }

}  // namespace

ConsoleHost::ConsoleHost(std::ostream& err, std::istream& in, ConsoleSettings settings,
                         const std::atomic<bool>* stopRequest)
    : err_(err), in_(in), console_(settings), stopRequest_(stopRequest) {
  if (console_.quiet) console_.progressBar = false;
}

void ConsoleHost::WriteOutputLine(const std::u16string& text) {
  if (console_.quiet && !IsErrorLine(text)) return;
  ClearProgress();
  err_ << Utf16ToUtf8(text) << '\n';
  err_.flush();
}

void ConsoleHost::Note(const std::string& text) {
  ClearProgress();
  err_ << "korvel-recover: " << text << '\n';
  err_.flush();
}

void ConsoleHost::SetProgressRange(uint64_t upper) {
  range_ = upper;
  position_ = 0;
}

void ConsoleHost::SetProgressPos(uint64_t position) {
  position_ = position;
  if (!console_.progressBar) return;
  // Called once per record: look at the clock only now and then.
  if ((calls_++ & 255) != 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (barShown_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  DrawProgress();
}

void ConsoleHost::SetProgressVisible(bool visible) {
  if (!visible) ClearProgress();
}

void ConsoleHost::DrawProgress() {
  if (range_ == 0) return;
  const uint64_t shown = position_ > range_ ? range_ : position_;
  const int filled = static_cast<int>(shown * kBarWidth / range_);
  const int percent = static_cast<int>(shown * 100 / range_);
  std::string bar = "\r[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  bar += "] " + std::to_string(percent) + "% " + std::to_string(position_) + "/" +
         std::to_string(range_);
  err_ << bar;
  err_.flush();
  barShown_ = true;
}

void ConsoleHost::ClearProgress() {
  if (!barShown_) return;
  err_ << "\r\033[K";
  err_.flush();
  barShown_ = false;
}

MessageAnswer ConsoleHost::ShowMessage(const std::u16string& text, const std::u16string& caption,
                                       MessageButtons buttons, MessageIcon icon) {
  if (console_.quiet && buttons == MessageButtons::Ok && icon == MessageIcon::Information) {
    return MessageAnswer::Ok;
  }
  ClearProgress();
  err_ << Utf16ToUtf8(caption) << ": " << Utf16ToUtf8(text);
  if (buttons == MessageButtons::Ok) {
    err_ << '\n';
    err_.flush();
    return MessageAnswer::Ok;
  }
  if (console_.assumeYes) {
    err_ << " [y/N] y (--yes)\n";
    err_.flush();
    return MessageAnswer::Yes;
  }
  if (!console_.askOnTerminal) {
    err_ << " [y/N] n (standard input is not a terminal; --yes answers Yes)\n";
    err_.flush();
    return MessageAnswer::No;
  }
  err_ << " [y/N] ";
  err_.flush();
  std::string answer;
  if (!std::getline(in_, answer)) {
    err_ << '\n';
    return MessageAnswer::No;
  }
  const std::u16string trimmed = AsciiUpper(TrimBlanks(Utf8ToUtf16(answer)));
  return trimmed == u"Y" || trimmed == u"YES" ? MessageAnswer::Yes : MessageAnswer::No;
}

void ConsoleHost::AddRecordRow(RecordRow row) {
  ++rowCount_;
  if (sink_ == nullptr) return;
  std::vector<std::string> values;
  values.reserve(row.size());
  for (const auto& value : row) values.push_back(Utf16ToUtf8(value));
  sink_->Row(values);
}

}  // namespace korvel::cli

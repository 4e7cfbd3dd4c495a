#include "tests/support/recording_host.h"

#include "core/text_codec.h"

namespace korvel::testing {

MessageAnswer RecordingHost::ShowMessage(const std::u16string& text, const std::u16string& cap,
                                         MessageButtons buttons, MessageIcon icon) {
  messages.push_back({text, cap, buttons, icon});
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::No;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

void RecordingHost::AddRecordRow(RecordRow row) {
  rows.push_back(std::move(row));
  if (stopAfterRows >= 0 && static_cast<long>(rows.size()) >= stopAfterRows) stop = true;
}

std::vector<std::u16string> RecordingHost::MessageTexts() const {
  std::vector<std::u16string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }

std::vector<std::string> U8(const std::vector<std::u16string>& texts) {
  std::vector<std::string> out;
  for (const auto& t : texts) out.push_back(Utf16ToUtf8(t));
  return out;
}

}  // namespace korvel::testing

// Questions about the files the library writes: the overwrite question, asked through the host's
// callback (message 24) or through the overwrite dialog.
#pragma once

#include <cstdint>
#include <string>

namespace tarrow {

class Operation;

// Asks whether the existing file at `path` may be replaced by a member. The times come as the
// question writes them (dosDateText, timeText). Answers TARROW_OVERWRITE_YES, _YES_TO_ALL, _NO or
// _NO_TO_ALL; a callback's other answers come back as they are and mean "leave this file alone".
// Escape, closing the dialog or an unreadable answer mean "No".
int askOverwrite(Operation& op, const std::string& path, uint64_t existingSize, const std::string& existingWhen,
                 uint64_t memberSize, const std::string& memberWhen);

// The answer the overwrite dialog's command `id` stands for.
int dialogAnswerFor(unsigned id);

}  // namespace tarrow

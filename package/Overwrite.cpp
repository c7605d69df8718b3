#include "Overwrite.h"

#include "Operation.h"
#include "Messages.h"
#include "platform/Host.h"

#include <cstring>

namespace tarrow {

int askOverwrite(Operation& op, const std::string& path, uint64_t existingSize, const std::string& existingWhen,
                 uint64_t memberSize, const std::string& memberWhen) {
    if (op.host.hasCallback()) {
        return Message(op, TARROW_MSG_OVERWRITE)
            .field(op.archiveName())
            .field(path)
            .number(existingSize)
            .field(existingWhen)
            .field(path)
            .number(memberSize)
            .field(memberWhen)
            .deliver();
    }
    std::string text = "A file with this name already exists. Do you wish to overwrite it?";
    text += "\n\nExisting file: " + path + "\n" + std::to_string(existingSize) + " bytes  " + existingWhen;
    text += "\n\nNew file: " + path + "\n" + std::to_string(memberSize) + " bytes  " + memberWhen;
    // The dialog shows the message buffer; the text is cut to fit it.
    char* buffer = op.messageBuffer.get();
    if (buffer) {
        size_t length = std::min(text.size(), size_t(TARROW_MESSAGE_SIZE - 1));
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
        text.resize(length);
    }
    op.dialogAnswer = -1;
    int answer = platform::overwriteDialog(op.host.parentWindow, text);
    // A host dialog driven by UnzipDlgBoxProc may leave its answer there instead.
    if (answer == TARROW_OVERWRITE_NO && op.dialogAnswer >= 0) answer = op.dialogAnswer;
    op.dialogAnswer = -1;
    return answer;
}

int dialogAnswerFor(unsigned id) {
    switch (id) {
    case TARROW_DIALOG_YES: return TARROW_OVERWRITE_YES;
    case TARROW_DIALOG_YES_TO_ALL: return TARROW_OVERWRITE_YES_TO_ALL;
    case TARROW_DIALOG_NO_TO_ALL: return TARROW_OVERWRITE_NO_TO_ALL;
    default:  // "No", and IDCANCEL from Escape or the close box: backing out never overwrites
        return TARROW_OVERWRITE_NO;
    }
}

}  // namespace tarrow

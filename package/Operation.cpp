#include "Operation.h"

#include "ArchiveCore.h"
#include "Catalogue.h"
#include "NameMatch.h"
#include "NameText.h"
#include "Messages.h"

#include <algorithm>
#include <new>

namespace tarrow {

namespace {
const std::string kNoName;
constexpr int16_t kDefaultOverwrite = TARROW_OVERWRITE_ASK;
constexpr int16_t kDefaultAttributeMask = TARROW_ATTRIBUTE_ARCHIVE;
constexpr uint32_t kMaxResult = 65535;
}  // namespace

Settings Settings::defaults() {
    Settings s;
    s.overwrite = kDefaultOverwrite;
    s.attributeMask = kDefaultAttributeMask;
    return s;
}

Operation::Operation() : input(*this) {}

Operation::~Operation() = default;

const std::string& Operation::archiveName() const { return settings.archiveName ? *settings.archiveName : kNoName; }

void Operation::initialise() {
    settings = Settings::defaults();
    counters = RunCounters{};
    endRecord = EndRecord{};
    input.resetDisks();
}

void Operation::runOperation() {
    // Patterns: the "|"-separated string first, then the list file.
    if (settings.include) addPatterns(includePatterns, *settings.include);
    if (settings.includeListFile) addListFile(includePatterns, *settings.includeListFile);
    if (settings.exclude) addPatterns(excludePatterns, *settings.exclude);
    if (settings.excludeListFile) addListFile(excludePatterns, *settings.excludeListFile);
    if (includePatterns.empty()) includePatterns.emplace_back("*.*");

    if (settings.memoryInput()) {
        operateOnMemory(*this);
        return;
    }
    operateOnArchive(*this);
    if (counters.processed == 0 && !errorRaised) raiseError(*this, TARROW_ERROR_NOTHING_DONE, archiveName());
}

int32_t Operation::run() {
    lastError = 0;
    lastWarning = 0;
    if (!settings.archiveName) return TARROW_RESULT_NO_ARCHIVE;
    messageBuffer.reset(new (std::nothrow) char[TARROW_MESSAGE_SIZE]);
    if (!messageBuffer) return TARROW_RESULT_NO_MEMORY;
    messageBuffer[0] = '\0';
    settings.abort = false;
    errorRaised = false;
    dialogAnswer = -1;

    try {
        runOperation();
    } catch (const FatalError&) {
        // Reported already; whatever was open has been released on the way here.
    } catch (const std::bad_alloc&) {
        try {
            raiseError(*this, TARROW_ERROR_NO_MEMORY, "");
        } catch (...) {
        }
    }

    int32_t result =
        settings.memoryOutput() ? int32_t(counters.outputLength) : int32_t(std::min(counters.processed, kMaxResult));
    input.close();
    includePatterns = {};
    excludePatterns = {};
    catalogue = {};
    core.reset();
    codePage.reset();
    header = CentralHeader{};
    messageBuffer.reset();
    initialise();
    return result;
}

}  // namespace tarrow

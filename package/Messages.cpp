#include "Messages.h"

#include "Operation.h"
#include "platform/Host.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tarrow {

namespace {

constexpr size_t kPrefixLength = 6;  // "1|CCC|"

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

bool isFatal(int code) {
    return code == TARROW_ERROR_NO_MEMORY || code == TARROW_ERROR_WRITE || code == TARROW_ERROR_ABORTED;
}

// DOS dates pack year-1980 in bits 9-15, month in 5-8, day in 0-4; times hours in 11-15, minutes
// in 5-10 and seconds / 2 in 0-4.
unsigned dosYear(uint16_t date) { return (date >> 9) + 1980u; }
unsigned dosMonth(uint16_t date) { return (date >> 5) & 0x0F; }
unsigned dosDay(uint16_t date) { return date & 0x1F; }
unsigned dosHours(uint16_t time) { return time >> 11; }
unsigned dosMinutes(uint16_t time) { return (time >> 5) & 0x3F; }
unsigned dosSeconds(uint16_t time) { return (time & 0x1F) * 2u; }

// Method as listed: the method x 10, deflate with its two option bits; past deflate the method x 10
// for the methods of other writers that have a name here (deflate64, bzip2, LZMA, zstd, xz, PPMd),
// 255 for any other. A WinZip AES member lists the method of its data.
unsigned listedMethod(const CentralHeader& h) {
    uint16_t method = h.method;
    if (method == kAesMethod) {
        auto field = findAesField(h.extra);
        method = field ? field->method : 0xFFFF;
    }
    if (method < 8) return method * 10u;
    if (method == 8) return 80u + ((h.flags >> 1) & 3u);
    switch (method) {
    case 9:
    case kBzip2:
    case kLzma:
    case kZstdEarly:
    case kZstd:
    case kXz:
    case 98: return method * 10u;
    default: return 255u;
    }
}

std::string versionText(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%d.%d", value / 10, value % 10);
    return text;
}

}  // namespace

Message::Message(Operation& op, int code) : m_op(op), m_code(code), m_buffer(op.messageBuffer.get()) {
    if (!m_buffer) return;
    std::snprintf(m_buffer, TARROW_MESSAGE_SIZE, "1|%3u|", unsigned(code) % 1000u);
    m_length = kPrefixLength;
}

bool Message::append(std::string_view text) {
    if (!m_buffer || m_cut) return false;
    if (m_length + text.size() + 1 > TARROW_MESSAGE_SIZE) {
        m_cut = true;
        return false;
    }
    if (!text.empty()) std::memcpy(m_buffer + m_length, text.data(), text.size());
    m_length += text.size();
    m_buffer[m_length] = '\0';
    return true;
}

Message& Message::field(std::string_view text) {
    if (m_buffer && !m_cut && m_length + text.size() + 2 > TARROW_MESSAGE_SIZE) m_cut = true;
    if (append(text)) append("|");
    return *this;
}

Message& Message::number(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRIu64, value);
    return field(text);
}

Message& Message::signedNumber(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    return field(text);
}

Message& Message::tail(std::string_view text) {
    append(text);
    return *this;
}

int16_t Message::deliver() {
    if (!m_buffer) return 0;
    return tarrow::deliver(m_op, m_code);
}

int16_t deliver(Operation& op, int code) {
    const char* text = op.messageText();
    // Paths keep the platform's own separator, so the text goes out as built.
    int16_t answer = 0;
    if (op.host.callback) answer = op.host.callback(1, code, text + kPrefixLength);
    else if (op.host.callbackEx) answer = op.host.callbackEx(1, code, text + kPrefixLength, op.host.user);
    else if (op.host.window) platform::sendText(op.host.window, text);
    if (code != TARROW_MSG_ERROR && answer == TARROW_ANSWER_ABORT) raiseError(op, TARROW_ERROR_ABORTED, "");
    platform::pumpMessages();
    if (code != TARROW_MSG_ERROR && op.settings.abort) raiseError(op, TARROW_ERROR_ABORTED, "");
    return answer;
}

void raiseError(Operation& op, int code, std::string_view file) {
    Message(op, TARROW_MSG_ERROR).field(op.archiveName()).field(file).signedNumber(code).deliver();
    op.lastError = int16_t(code);
    op.errorRaised = true;
    if (isFatal(code)) throw FatalError{code};
}

void raiseWarning(Operation& op, int code, std::string_view file) {
    op.lastWarning = int16_t(code);
    Message(op, TARROW_MSG_WARNING).field(op.archiveName()).field(file).signedNumber(code).deliver();
}

int16_t sendProgress(Operation& op, int code, std::string_view member, uint64_t size, uint64_t done) {
    bool finished = code == TARROW_MSG_EXTRACT_DONE || code == TARROW_MSG_TEST_DONE;
    int percent = size == 0 ? 100 : 100 - perMille(done, size) / 10;
    const RunCounters& c = op.counters;
    return Message(op, code)
        .field(op.archiveName())
        .field(member)
        .number(size)
        .number(done)
        .signedNumber(percent)
        .signedNumber(c.selected)
        .signedNumber(c.currentIndex + (finished ? 1 : 0))
        .number(c.selectedCompressed)
        .number(c.compressedRead)
        .deliver();
}

int16_t sendListing(Operation& op, const CentralHeader& h, const core::ModificationTime& time) {
    std::string_view name = h.name;
    std::string_view folder, file = name;
    if (h.externalAttributes & 0x10) {  // a folder: the whole name is the folder part
        folder = name;
        file = {};
    } else if (size_t slash = name.rfind('/'); slash != std::string_view::npos) {
        folder = name.substr(0, slash);
        file = name.substr(slash + 1);
    }
    bool encrypted = h.flags & 1;
    // The 12-byte encryption header is not part of the compressed data.
    uint64_t compressed = encrypted ? (h.compressedSize > 12 ? h.compressedSize - 12 : 0) : h.compressedSize;
    int ratio = perMille(compressed, h.uncompressedSize);
    char crc[12];
    std::snprintf(crc, sizeof crc, "%.8" PRIx32, h.crc32);

    // The first extra-field block: its header ID, its data size and as much of its data as the
    // field really holds.
    uint16_t extraId = 0, extraSize = 0;
    std::string_view extraData;
    if (h.extra.size() >= 4) {
        extraId = le16(h.extra.data());
        extraSize = le16(h.extra.data() + 2);
        size_t available = std::min<size_t>(extraSize, h.extra.size() - 4);
        extraData = std::string_view(reinterpret_cast<const char*>(h.extra.data()) + 4, available);
    }
    std::string when = timeFields(time, h.dosDate, h.dosTime);
    size_t bar = when.find('|');
    return Message(op, TARROW_MSG_LISTING)
        .field(op.archiveName())
        .field(folder)
        .field(file)
        .number(h.uncompressedSize)
        .number(h.compressedSize)
        .signedNumber((ratio + 5) / 10)
        .field(std::string_view(when).substr(0, bar))
        .field(std::string_view(when).substr(bar + 1))
        .number(h.externalAttributes)
        .number(listedMethod(h))
        .field(encrypted ? "1" : "0")
        .field(crc)
        .field((h.internalAttributes & 1) ? "0" : "1")
        .field(versionText(h.versionMadeBy))
        .field(versionText(h.versionNeeded))
        .number(extraId)
        .number(extraSize)
        .field(extraData)
        .deliver();
}

int16_t perMille(uint64_t part, uint64_t total) {
    if (total == 0) return 0;
    // 128-bit arithmetic: zip64 sizes times 1000 do not fit 64 bits.
    __int128 p = part, t = total, ratio;
    if (t <= 2000000) ratio = p <= t ? (t * 1000 + t / 2 - p * 1000) / t : -((p * 1000 + t / 2 - t * 1000) / t);
    else ratio = p <= t ? (t + t / 2000 - p) / (t / 1000) : -((p + t / 2000 - t) / (t / 1000));
    return int16_t(std::clamp<__int128>(ratio, INT16_MIN, INT16_MAX));
}

namespace {

// A moment's calendar fields; month 1 to 12 where it is shown by name.
struct Calendar {
    int year;
    unsigned month, day, hours, minutes, seconds;
};

Calendar dosCalendar(uint16_t date, uint16_t time) {
    return {int(dosYear(date)), dosMonth(date), dosDay(date), dosHours(time), dosMinutes(time), dosSeconds(time)};
}

// The local calendar of a UTC time from the extra field; the DOS date and time otherwise, and where
// the time has no local calendar.
Calendar calendarOf(const core::ModificationTime& when, uint16_t date, uint16_t time) {
    std::tm local{};
    const time_t seconds = time_t(when.seconds.value_or(0));
    if (!when.utc || !when.seconds || !localtime_r(&seconds, &local)) return dosCalendar(date, time);
    return {local.tm_year + 1900,    unsigned(local.tm_mon + 1), unsigned(local.tm_mday),
            unsigned(local.tm_hour), unsigned(local.tm_min),     unsigned(local.tm_sec)};
}

std::string fieldsOf(Calendar c) {
    if (c.month < 1 || c.month > 12) c.month = 6;
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02u-%02u|%02u:%02u:%02u", c.year, c.month, c.day, c.hours, c.minutes,
                  c.seconds);
    return text;
}

std::string textOf(const Calendar& c) {
    const char* name = c.month >= 1 && c.month <= 12 ? kMonthNames[c.month - 1] : kMonthNames[0];
    char text[64];
    std::snprintf(text, sizeof text, "%2u %s %d %2u:%02u", c.day, name, c.year, c.hours, c.minutes);
    return text;
}

}  // namespace

std::string dosDateTimeFields(uint16_t date, uint16_t time) { return fieldsOf(dosCalendar(date, time)); }
std::string dosDateText(uint16_t date, uint16_t time) { return textOf(dosCalendar(date, time)); }

std::string timeFields(const core::ModificationTime& when, uint16_t dosDate, uint16_t dosTime) {
    return fieldsOf(calendarOf(when, dosDate, dosTime));
}

std::string timeText(const core::ModificationTime& when, uint16_t dosDate, uint16_t dosTime) {
    return textOf(calendarOf(when, dosDate, dosTime));
}

}  // namespace tarrow

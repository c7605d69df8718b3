// Message delivery: every report of a main call is one line of "|"-separated fields in the 2048-byte
// message buffer, handed to the host's callback or progress window. Delivery is also where the host's
// pending events run and where an abort is noticed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarrow {

class Operation;
struct CentralHeader;
namespace core {
struct ModificationTime;
}

// Builds one message in the operation's buffer: the prefix "1|CCC|", then fields each followed by
// "|". A field that does not fit (with the NUL) is dropped together with every field after it, so
// the buffer is never overrun and a message is only ever cut at a field boundary.
class Message {
public:
    Message(Operation& op, int code);
    Message& field(std::string_view text);
    Message& number(uint64_t value);
    Message& signedNumber(int64_t value);
    // Appends text with no separator after it (the comment of message 11).
    Message& tail(std::string_view text);
    // Hands the message to the host; returns its 16-bit answer.
    int16_t deliver();

private:
    bool append(std::string_view text);

    Operation& m_op;
    int m_code;
    char* m_buffer;
    size_t m_length = 0;
    bool m_cut = false;
};

// Delivers the message now in the buffer (see tarrow.h for what the host receives). An answer of
// 255, or the abort flag, ends the operation with error 255 unless code is 22.
int16_t deliver(Operation& op, int code);

// Report an error (message 22) or warning (message 23) and remember its code. Errors 4, 50 and 255
// are fatal: raiseError throws FatalError after delivering them.
void raiseError(Operation& op, int code, std::string_view file);
void raiseWarning(Operation& op, int code, std::string_view file);

// Progress messages 14 to 17 for the current member (op.counters.currentIndex). `member` is the
// target path or stored name; size is the member's uncompressed size.
int16_t sendProgress(Operation& op, int code, std::string_view member, uint64_t size, uint64_t done);

// Message 21 for the header last read, which must still own its extra field; `when` is the member's
// time as core::memberTime decided it.
int16_t sendListing(Operation& op, const CentralHeader& header, const core::ModificationTime& when);

// Per-mille share saved: 1000 x (1 - part / total), rounded half up; 0 for total 0. Computed without
// overflow and kept within 16 bits.
int16_t perMille(uint64_t part, uint64_t total);
// "1999-02-03|10:20:30" from a DOS date and time.
std::string dosDateTimeFields(uint16_t date, uint16_t time);
// " 3 February 1999 10:20" as the overwrite question writes dates.
std::string dosDateText(uint16_t date, uint16_t time);
// A member's time in those two forms: a UTC time from the extra field as local time, else the DOS
// date and time as stored.
std::string timeFields(const core::ModificationTime& when, uint16_t dosDate, uint16_t dosTime);
std::string timeText(const core::ModificationTime& when, uint16_t dosDate, uint16_t dosTime);

}  // namespace tarrow

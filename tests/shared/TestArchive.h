// What tests, benchmarks and fuzz seeds use to write archives: attribute
// records with times of their own, payloads written by a few lines of
// code, and Shift-JIS names that trip up byte-wise path code.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "payload/PayloadWriter.h"
#include "support/FileAttributeRecord.h"
#include "tests/shared/StringSink.h"

namespace testkit {

inline FileAttributeRecord Record(uint32_t attributes, uint64_t created, uint64_t accessed, uint64_t written)
{
    FileAttributeRecord r;
    r.attributes = attributes;
    r.creationTime = created;
    r.lastAccessTime = accessed;
    r.lastWriteTime = written;
    return r;
}

// A record whose three times differ (a second apart, in 2022, with digits
// below the second), and differ by n days from those of record n + 1, so
// that a time put on the wrong entry or field shows.
inline FileAttributeRecord Record(uint32_t attributes, uint32_t n = 0)
{
    const uint64_t kSecond = 10000000ull;
    const uint64_t created = 0x01D9000000000000ull + n * 86400ull * kSecond;
    return Record(attributes, created, created + kSecond, created + 2 * kSecond);
}

// The payload that write makes; empty when the writer failed (its sink
// cannot fail, so only by a mistake in the test).
inline std::string MakePayload(const std::function<void(PayloadWriter&)>& write)
{
    StringSink sink;
    PayloadWriter writer(sink);
    write(writer);
    return writer.Failed() ? std::string() : sink.bytes;
}

// Shift-JIS names whose second byte is 0x5C, the backslash.
const std::string kHyo = "\x95\x5C";                 // 表
const std::string kSo = "\x83\x5C";                  // ソ
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67"; // ソフト
const std::string kNouryoku = "\x94\x5C\x97\xCD";     // 能力

} // namespace testkit

// RCDecompress: the transform stage that inflates a zlib stream (RFC 1950
// header, default window) through zlib's stream interface.
//
// Every step inflates its whole input with Z_SYNC_FLUSH straight into the
// output buffer, at most chunkSize bytes per call of inflate. Any
// result of inflate other than Z_OK fails the step, Z_STREAM_END included:
// the payload stream is never finished, so its end means damage. A failed
// step hands out nothing, and zlib stays failed, so every later step fails
// too. When a step's input runs out just as a call's chunkSize bytes fill,
// the output that inflate still holds comes out with the next step. The
// header is checked; the Adler-32 sum is not kept (the stream never ends).
#pragma once
#include <cstdint>
#include <memory>

#include <zlib.h>

#include "payload/RCTransform.h"

class RCDecompress : public RCTransform {
public:
    // Headroom of the output buffer: one growth normally serves a step.
    static constexpr int32_t kGrowStep = 262144;
    // The chunk size that extraction gives: a raw piece normally inflates
    // in one call of inflate (an 8 KiB window made several, each with its
    // slow path at the window's end).
    static constexpr int32_t kExtractionChunk = 65536;

    // chunkSize: the output of one call of inflate (kExtractionChunk in the
    // launcher). A size of 0 or less makes Begin fail.
    explicit RCDecompress(int32_t chunkSize);
    ~RCDecompress() override;

    // False when already begun, when the window size is unusable or when
    // zlib cannot start; a stage that fails stays not begun.
    bool Begin() override;
    // False when not begun, for a negative length, or when inflate fails.
    bool Process(const uint8_t* input, int32_t inputLength, const uint8_t** outData,
                 int32_t* outLength) override;
    bool End() override;

    bool IsBegun() const { return zstream_ != nullptr; }

private:
    std::unique_ptr<z_stream> zstream_;
    const int32_t chunkSize_;
};

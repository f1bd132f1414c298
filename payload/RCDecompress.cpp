#include "payload/RCDecompress.h"

RCDecompress::RCDecompress(int32_t chunkSize) : RCTransform(kGrowStep), chunkSize_(chunkSize)
{
}

RCDecompress::~RCDecompress()
{
    End();
}

bool RCDecompress::Begin()
{
    if (zstream_ != nullptr || chunkSize_ <= 0)
        return false;
    // Null allocator fields select zlib's own memory functions.
    std::unique_ptr<z_stream> zs(new z_stream());
    zs->zalloc = Z_NULL;
    zs->zfree = Z_NULL;
    zs->opaque = Z_NULL;
    zs->next_in = Z_NULL;
    zs->avail_in = 0;
    if (inflateInit(zs.get()) != Z_OK)
        return false;
    zstream_ = std::move(zs);
    chunkBuffer_.reset(new uint8_t[static_cast<size_t>(chunkSize_)]);
    return true;
}

bool RCDecompress::Process(const uint8_t* input, int32_t inputLength, const uint8_t** outData,
                           int32_t* outLength)
{
    // The previous step's output is given up whatever happens here; its
    // memory is kept for this step.
    ResetOutput();
    if (zstream_ == nullptr || inputLength < 0 || (input == nullptr && inputLength > 0))
        return false;
    z_stream& zs = *zstream_;
    uint8_t* window = chunkBuffer_.get();
    const uInt windowSize = static_cast<uInt>(chunkSize_);
    zs.next_in = const_cast<Bytef*>(input); // zlib does not write through next_in
    zs.avail_in = static_cast<uInt>(inputLength);
    zs.next_out = window;
    zs.avail_out = windowSize;
    for (;;) {
        int rc = inflate(&zs, Z_SYNC_FLUSH);
        // All input taken: the step ends, even with the window full; what
        // inflate still holds comes out with the next step.
        if (rc == Z_OK && zs.avail_in == 0)
            break;
        // Z_STREAM_END too: nothing gathered in this step is handed out.
        if (rc != Z_OK) {
            ResetOutput();
            return false;
        }
        if (zs.avail_out == 0) {
            // Full window: move it out and give inflate the whole of it again.
            if (AppendOutput(window, chunkSize_) < 0) {
                ResetOutput();
                return false;
            }
            zs.next_out = window;
            zs.avail_out = windowSize;
        }
    }
    int32_t held = chunkSize_ - static_cast<int32_t>(zs.avail_out);
    if (held > 0 && AppendOutput(window, held) < 0) {
        ResetOutput();
        return false;
    }
    if (outData != nullptr)
        *outData = OutputData();
    if (outLength != nullptr)
        *outLength = OutputLength();
    return true;
}

bool RCDecompress::End()
{
    if (zstream_ != nullptr) {
        // Fails only for a state that is not zlib's; nothing to do about it.
        inflateEnd(zstream_.get());
        zstream_.reset();
    }
    chunkBuffer_.reset();
    return true;
}

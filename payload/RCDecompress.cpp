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
    // The header is still checked. The payload stream is never finished, so
    // its Adler-32 trailer never comes: summing every byte for it is waste.
    inflateValidate(zs.get(), 0);
    zstream_ = std::move(zs);
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
    zs.next_in = const_cast<Bytef*>(input); // zlib does not write through next_in
    zs.avail_in = static_cast<uInt>(inputLength);
    // Inflated straight into the output, a window's size at a time.
    for (;;) {
        uint8_t* room = ReserveOutput(chunkSize_);
        if (room == nullptr) {
            ResetOutput();
            return false;
        }
        zs.next_out = room;
        zs.avail_out = static_cast<uInt>(chunkSize_);
        int rc = inflate(&zs, Z_SYNC_FLUSH);
        CommitOutput(chunkSize_ - static_cast<int32_t>(zs.avail_out));
        // Z_STREAM_END too: nothing gathered in this step is handed out.
        if (rc != Z_OK) {
            ResetOutput();
            return false;
        }
        // All input taken: the step ends, even with the window full; what
        // inflate still holds comes out with the next step.
        if (zs.avail_in == 0)
            break;
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
    return true;
}

// RCStream: an abstract byte stream. Reads may pass through an input
// transform stage and writes through an output transform stage; stages are
// not owned, and either side may be destroyed first (see RCTransform).
//
// Read hands out bytes; ReadLine reads a line ended by CR, LF or CR LF. After
// a line that ended with CR, the next read of either kind drops one LF if it
// comes at once. With an input transform, raw input is taken in pieces of
// kInputPiece bytes, each passed whole to one step of the stage, and the
// medium is not read again until that step's output has been handed out.
//
// Derived classes supply the medium (ReadRaw, WriteRaw, IsError, IsEof) and
// call BeginTransforms once it is open and EndTransforms before closing it.
#pragma once
#include <cstdint>
#include <memory>

#include "payload/ArchiveFormat.h"
#include "support/RCAnsiStr.h"
#include "support/RCRoot.h"

class RCTransform;

class RCStream : public RCRoot {
public:
    // The payload's pieces: the builder pads the payload to a whole number of
    // them (so that a certificate table behind it starts in a piece of its
    // own), and the reader must take exactly these.
    static constexpr int32_t kInputPiece = ArchiveFormat::kPieceSize;

    RCStream() = default;
    // Tells every stage still attached (code 1); stages are not ended.
    ~RCStream() override;
    RCStream(const RCStream&) = delete;
    RCStream& operator=(const RCStream&) = delete;

    // Code 0 from an attached stage: forget it without ending it. Always 0.
    int32_t Notify(RCRoot* sender, int32_t code, int32_t value, int32_t extra) override;

    // The medium. ReadRaw: bytes read, 0 at its end, -1 without a medium.
    // WriteRaw: bytes written, -1 without a medium.
    virtual int32_t ReadRaw(void* buffer, int32_t length) = 0;
    virtual int32_t WriteRaw(const void* buffer, int32_t length) = 0;
    virtual bool IsError() const = 0;
    virtual bool IsEof() const = 0;

    // Bytes stored; fewer than length only when the data has ended; -1 when
    // there is no medium (without an input transform). A length of 0 or less
    // reads nothing and returns 0.
    int32_t Read(void* buffer, int32_t length);

    // Reads the next line into line, without its terminator; a NUL byte adds
    // nothing. True when a terminator came, or the data ended after some
    // text; false when the data ended before any text. maxLength >= 0 bounds
    // the bytes of a line (NULs included): a longer line makes the read fail
    // with false after maxLength + 1 bytes, the line holding what came
    // before. -1: no bound.
    bool ReadLine(RCAnsiStr& line, int32_t maxLength = -1);

    // length on success; -1 or fewer when the stage or the medium failed.
    int32_t Write(const void* buffer, int32_t length);

    // Detaches (ending it) the stage held, then attaches stage, or nothing
    // for null. False when the new stage's Begin fails: it stays attached,
    // and reads give no data until the medium is opened again.
    bool SetInputTransform(RCTransform* stage);
    // The same for writes; the result is that of the stage's Begin.
    bool SetOutputTransform(RCTransform* stage);

    RCTransform* InputTransform() const { return inputTransform_; }
    RCTransform* OutputTransform() const { return outputTransform_; }
    bool HasInputBuffer() const { return inputBuffer_ != nullptr; }

protected:
    // Begins the attached stages (results ignored) and makes ready to read.
    void BeginTransforms();
    // Ends the attached stages, which stay attached.
    void EndTransforms();

private:
    // Bytes from the input stage's output, or from the medium without one.
    int32_t StepRead(uint8_t* buffer, int32_t length);
    // Forgets the step output held by reads.
    void DropStep();

    bool pendingCr_ = false;
    RCTransform* inputTransform_ = nullptr;  // not owned
    RCTransform* outputTransform_ = nullptr; // not owned
    const uint8_t* stepData_ = nullptr;      // into the input stage's output
    int32_t stepLength_ = 0;
    int32_t stepUsed_ = 0;                   // 0 <= stepUsed_ <= stepLength_
    std::unique_ptr<uint8_t[]> inputBuffer_; // kInputPiece bytes, or null
};

#include "payload/RCStream.h"

#include <cstring>

#include "payload/RCTransform.h"

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;

// Bytes of a line gathered on the stack before any allocation.
constexpr int32_t kLineRun = 256;
// Growth step of the buffer that holds the full runs of a long line.
constexpr int32_t kSpillGrowth = 64 * 1024;

} // namespace

RCStream::~RCStream()
{
    NotifyIfPresent(inputTransform_, this, 1, 0, 0);
    NotifyIfPresent(outputTransform_, this, 1, 0, 0);
}

int32_t RCStream::Notify(RCRoot* sender, int32_t code, int32_t, int32_t)
{
    // Only a stage that is going away sends code 0 to a stream. A null
    // sender names no stage, even when a slot is empty.
    if (code != 0 || sender == nullptr)
        return 0;
    // The stage is being destroyed: forget it before the detach, so that it
    // is neither ended nor told. One stage may sit in both slots.
    if (sender == inputTransform_) {
        inputTransform_ = nullptr;
        SetInputTransform(nullptr);
    }
    if (sender == outputTransform_) {
        outputTransform_ = nullptr;
        SetOutputTransform(nullptr);
    }
    return 0;
}

void RCStream::DropStep()
{
    // The step output belongs to the stage that made it: never hand it out
    // once that stage has left the input slot.
    stepData_ = nullptr;
    stepLength_ = 0;
    stepUsed_ = 0;
}

bool RCStream::SetInputTransform(RCTransform* stage)
{
    if (inputTransform_ != nullptr) {
        inputTransform_->End();
        NotifyIfPresent(inputTransform_, nullptr, 0, 0, 0);
    }
    inputBuffer_.reset();
    DropStep();
    inputTransform_ = stage;
    if (stage == nullptr)
        return true;
    NotifyIfPresent(stage, this, 0, 0, 0);
    // On failure the stage stays attached without an input buffer, and
    // reads give no data.
    if (!stage->Begin())
        return false;
    inputBuffer_.reset(new uint8_t[kInputPiece]);
    return true;
}

bool RCStream::SetOutputTransform(RCTransform* stage)
{
    if (outputTransform_ != nullptr) {
        outputTransform_->End();
        NotifyIfPresent(outputTransform_, nullptr, 0, 0, 0);
    }
    outputTransform_ = stage;
    if (stage == nullptr)
        return true;
    NotifyIfPresent(stage, this, 0, 0, 0);
    return stage->Begin();
}

void RCStream::BeginTransforms()
{
    if (inputTransform_ != nullptr) {
        inputTransform_->Begin(); // a stage already begun carries on
        if (inputBuffer_ == nullptr)
            inputBuffer_.reset(new uint8_t[kInputPiece]);
        DropStep();
    }
    if (outputTransform_ != nullptr)
        outputTransform_->Begin();
    pendingCr_ = false;
}

void RCStream::EndTransforms()
{
    if (inputTransform_ != nullptr)
        inputTransform_->End();
    if (outputTransform_ != nullptr)
        outputTransform_->End();
    inputBuffer_.reset();
}

int32_t RCStream::StepRead(uint8_t* buffer, int32_t length)
{
    if (inputTransform_ == nullptr)
        return ReadRaw(buffer, length);
    int32_t copied = 0;
    for (;;) {
        int32_t available = stepLength_ - stepUsed_;
        int32_t wanted = length - copied;
        if (wanted <= available) {
            std::memcpy(buffer + copied, stepData_ + stepUsed_, static_cast<size_t>(wanted));
            stepUsed_ += wanted;
            return length;
        }
        if (available > 0) {
            std::memcpy(buffer + copied, stepData_ + stepUsed_, static_cast<size_t>(available));
            stepUsed_ += available;
            copied += available;
            continue;
        }
        // The step output is used up: one more raw piece, whole, into one
        // step. No input buffer (the stage failed to begin, or the medium
        // is closed): the data has ended.
        if (inputBuffer_ == nullptr)
            return copied;
        int32_t n = ReadRaw(inputBuffer_.get(), kInputPiece);
        if (n <= 0)
            return copied; // end of the medium, or no medium: the data ends
        if (n > kInputPiece)
            n = kInputPiece; // a medium that claims more than it was given
        stepUsed_ = 0;
        const uint8_t* data = nullptr;
        int32_t produced = 0;
        if (!inputTransform_->Process(inputBuffer_.get(), n, &data, &produced)) {
            DropStep();
            return copied;
        }
        stepData_ = data;
        stepLength_ = produced;
        // A step without output ends the data too.
        if (stepLength_ <= 0) {
            DropStep();
            return copied;
        }
    }
}

int32_t RCStream::Read(void* buffer, int32_t length)
{
    // Nothing is asked: a pending CR stays pending, for the next read.
    if (length <= 0 || buffer == nullptr)
        return 0;
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    int32_t count = 0;
    if (pendingCr_) {
        pendingCr_ = false;
        int32_t got = StepRead(bytes, 1);
        if (got <= 0)
            return got;
        if (bytes[0] != kLf)
            count = 1; // not the LF of a CR LF: it is data
    }
    while (count < length) {
        int32_t got = StepRead(bytes + count, length - count);
        if (got < 0)
            return got; // the bytes stored so far are not counted
        if (got == 0)
            break;
        count += got;
    }
    return count;
}

bool RCStream::ReadLine(RCAnsiStr& line, int32_t maxLength)
{
    line.Assign(nullptr);
    // Bytes are gathered in a run on the stack, full runs in spill (whose
    // large growth step keeps long lines near linear), and the line is set
    // once at the end: the same text as appending each byte as a
    // one-character text.
    char run[kLineRun + 1];
    int32_t held = 0;
    RCAnsiStr spill(nullptr, kSpillGrowth);
    int32_t taken = 0; // bytes of the line so far, NULs included
    bool result = false;
    for (;;) {
        uint8_t byte = 0;
        int32_t got = Read(&byte, 1);
        if (got <= 0) {
            result = held > 0 || spill.Length() > 0;
            break;
        }
        if (byte == kCr) {
            pendingCr_ = true; // an LF that follows at once belongs to this line
            result = true;
            break;
        }
        if (byte == kLf) {
            result = true;
            break;
        }
        if (maxLength >= 0) {
            if (taken >= maxLength)
                break; // too long: false, with the text gathered so far
            ++taken;
        }
        // A NUL adds nothing: as a one-character text it is empty.
        if (byte == 0)
            continue;
        if (held == kLineRun) {
            run[held] = '\0'; // a run holds no NUL: they were dropped
            spill.Append(run);
            held = 0;
        }
        run[held++] = static_cast<char>(byte);
    }
    run[held] = '\0';
    if (spill.Length() == 0) {
        line.Assign(run);
    } else {
        spill.Append(run);
        // By its text: both are ANSI strings, and the string overload would
        // bring the code-page conversion into the stub for nothing.
        line.Assign(spill.Text());
    }
    return result;
}

int32_t RCStream::Write(const void* buffer, int32_t length)
{
    if (length < 0 || (buffer == nullptr && length > 0))
        return -1;
    if (outputTransform_ == nullptr)
        return WriteRaw(buffer, length);
    // The step's output is used at once; the read step state is left alone,
    // so reads never hand out the output of a write.
    const uint8_t* data = nullptr;
    int32_t produced = 0;
    if (!outputTransform_->Process(static_cast<const uint8_t*>(buffer), length, &data, &produced))
        return -1;
    if (produced <= 0)
        return length;
    if (WriteRaw(data, produced) < produced)
        return -1;
    return length;
}
